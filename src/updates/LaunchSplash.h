#pragma once

#include "updates/ManifestPing.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

namespace quindle {

// How long the splash waits for what. Tests run the same flows with every limit scaled down.
struct SplashLimits {
    using Ms = std::chrono::milliseconds;
    Ms watchdog{25000};            // after this the splash goes, whatever still runs
    Ms freshDisplay{5000};         // shown this long when the cached manifest is fresh
    Ms staleRace{5000};            // the most a stale cache waits for the network
    Ms firstInstallMinimum{10000}; // without a cache, shown at least this long
    Ms firstInstallRace{10000};    // …and then waits at most this much longer
    Ms requestHardTimeout{7000};   // one request, start to end
    Ms requestTimeout{5000};       // one request's longest silence
    Ms successHold{600};
    Ms offlineHold{3000};
    std::chrono::seconds cacheTtl{43200};

    SplashLimits scaled(double factor) const;
};

// What the launch splash does while it is up: decides from the cached manifest's age whether to
// ask the network, races the answer against its limits and says when to go. The window only
// shows `status()` and forwards Cancel and its close.
class LaunchSplash : public QObject {
    Q_OBJECT
public:
    enum class Status { Connecting, Success, Offline };
    enum class Outcome { Succeeded, Failed, TimedOut };

    LaunchSplash(ManifestPing::Settings addresses, SplashLimits limits = {},
                 QObject *parent = nullptr);

    // The splash for this build's addresses and key.
    static ManifestPing::Settings buildSettings(const SplashLimits &limits);

    Status status() const { return m_status; }
    // The server being contacted, for "Contacting <host>…".
    QString host() const;
    bool isDismissed() const { return m_dismissed; }

    // Seconds since the cached manifest was written; nothing without one.
    static std::optional<qint64> cacheAgeSeconds();
    static QString outcomeName(Outcome outcome);

    // Arms the watchdog and starts looking; the window calls it once it is shown.
    void start();
    // Ends the splash once; later calls only say so.
    void dismiss();
    // The person pressed Cancel, or closed the window before it went: Quindle quits.
    void cancel();
    void windowClosed();

Q_SIGNALS:
    void statusChanged();
    void dismissed();
    void quitRequested();

private:
    void setStatus(Status status);
    // Calls `done` once, with the ping's answer or TimedOut after `limit`, whichever comes first.
    void race(std::chrono::milliseconds limit, std::function<void(Outcome)> done);
    void after(std::chrono::milliseconds delay, std::function<void()> then);

    SplashLimits m_limits;
    ManifestPing m_ping;
    QString m_host;
    Status m_status = Status::Connecting;
    bool m_started = false;
    bool m_dismissed = false;
};

} // namespace quindle
