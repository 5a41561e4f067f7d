#pragma once

#include "updates/ManifestV2.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace quindle {

// Installs a newer version in place: downloads the tarball the signed manifest names, checks it
// against the manifest's checksum and as a build, then hands over to the updater script and asks
// the application to quit. Lives on the main thread; one run at a time.
class AutoUpdater : public QObject {
    Q_OBJECT
public:
    enum class Phase { Idle, Downloading, Verifying, Installing, Relaunching, Succeeded, Failed };

    struct Settings {
        // The installed copy to replace; nothing for a development build.
        std::optional<QString> installFolder;
        // Without a signing key a manifest's checksum proves nothing.
        bool canVerify = false;
        qint64 parentPid = 0;
        QString downloadFolder; // the tarball goes here
        QString workPrefix;     // the script and its log: + <UUID>.sh / .log
        std::chrono::milliseconds idleLimit{std::chrono::seconds(60)};
        std::chrono::milliseconds startLimit{std::chrono::seconds(10)}; // the new build's --version
        std::chrono::milliseconds quitDelay{500};
        int parentChecks = 150;
        int startWaitSeconds = 5;

        // This process, its install folder and the build's key.
        static Settings fromBuild();
    };

    explicit AutoUpdater(QObject *parent = nullptr);
    explicit AutoUpdater(Settings settings, QObject *parent = nullptr);

    Phase phase() const { return m_phase; }
    bool isRunning() const;
    double fraction() const { return m_fraction; } // while downloading, when the length is known
    const QString &message() const { return m_message; } // when failed
    // The downloaded tarball of the last run, kept after a failure.
    const QString &archive() const { return m_archive; }

    // The update `offer` names; ignored while a run is in progress.
    void run(const ManifestV2 &offer);

    // Removes what updates left beside `installFolder` (staging and previous versions) once
    // older than `age`, so an updater still at work keeps its folders.
    static void removeLeftovers(const QString &installFolder, std::chrono::seconds age);

Q_SIGNALS:
    void changed();
    // The updater script is running: the application must quit for it to go on.
    void quitRequested();

private:
    // Why `offer` cannot be installed from here, before anything is downloaded.
    std::optional<QString> refusal(const ManifestV2 &offer) const;
    void verify(const QString &expectedSha256, const QString &version);
    void install(const QString &staging, const QString &build);
    void setPhase(Phase phase);
    void fail(const QString &message);

    Settings m_settings;
    QNetworkAccessManager m_network;
    Phase m_phase = Phase::Idle;
    double m_fraction = 0.0;
    QString m_message;
    QString m_archive;
};

// The words the prompt and `quindle update` show for a phase: a title and a line under it.
QString updatePhaseTitle(AutoUpdater::Phase phase);
QString updatePhaseDetail(AutoUpdater::Phase phase, double fraction);

} // namespace quindle
