#pragma once

#include "updates/ManifestV2.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace quindle {

class ManifestFetcher;

// The launch gate shown when the web service names a newer version. Before sending anyone to the
// download it asks the service again, so a manifest fixed meanwhile lets Quindle start.
class UpdatePrompt : public QObject {
    Q_OBJECT
public:
    enum class Phase { Offer, Rechecking, RecheckFailed };

    explicit UpdatePrompt(ManifestFetcher &fetcher, QObject *parent = nullptr);

    Phase phase() const { return m_phase; }
    // Why the last re-check failed.
    const QString &error() const { return m_error; }
    QString availableVersion() const;
    static QString installedVersion();
    // Web addresses only: a manifest cannot make Quindle open anything else.
    std::optional<QUrl> releaseNotesUrl() const;
    std::optional<QUrl> downloadUrl() const;

    // Asks the service again; goes to the download when the newer version is confirmed.
    void openDownload();
    // The download, without asking again (after a failed re-check).
    void openDownloadAnyway();
    void recheck();
    void quit();

Q_SIGNALS:
    void changed();
    // The re-check found this build current: the gate can go.
    void current();
    // A confirmed download address to open in the browser.
    void downloadRequested(const QUrl &url);
    void quitRequested();

private:
    void setPhase(Phase phase);

    ManifestFetcher &m_fetcher;
    std::optional<ManifestV2> m_shown;
    Phase m_phase = Phase::Offer;
    QString m_error;
    bool m_downloadAfterRecheck = false;
};

} // namespace quindle
