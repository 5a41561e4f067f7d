#pragma once

#include "updates/AutoUpdater.h"
#include "updates/ManifestV2.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace quindle {

class ManifestFetcher;

// The launch gate shown when the web service names a newer version. Before installing anything
// it asks the service again, so a manifest fixed meanwhile lets Quindle start.
class UpdatePrompt : public QObject {
    Q_OBJECT
public:
    // Updating: the updater's own phase says how far it got.
    enum class Phase { Offer, Rechecking, RecheckFailed, Updating };

    UpdatePrompt(ManifestFetcher &fetcher, AutoUpdater &updater, QObject *parent = nullptr);

    Phase phase() const;
    const AutoUpdater &updater() const { return m_updater; }
    // Why the last re-check failed.
    const QString &error() const { return m_error; }
    QString availableVersion() const;
    static QString installedVersion();
    // Web addresses only: a manifest cannot make Quindle open anything else.
    std::optional<QUrl> releaseNotesUrl() const;
    std::optional<QUrl> downloadUrl() const;
    // Whether "Update Now" (or "Try Again") can start a run.
    bool canUpdate() const;

    // Asks the service again, then installs the version it confirms.
    void updateNow();
    // The download in the browser, for when the update cannot finish here.
    void openDownload();
    void recheck();
    void quit();

Q_SIGNALS:
    void changed();
    // The re-check found this build current: the gate can go.
    void current();
    // A download address to open in the browser.
    void downloadRequested(const QUrl &url);
    void quitRequested();

private:
    void setRechecking(bool rechecking);

    ManifestFetcher &m_fetcher;
    AutoUpdater &m_updater;
    std::optional<ManifestV2> m_shown;
    bool m_rechecking = false;
    bool m_recheckFailed = false;
    QString m_error;
    bool m_updateAfterRecheck = false;
};

} // namespace quindle
