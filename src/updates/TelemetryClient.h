#pragma once

#include "updates/TelemetryEvents.h"

#include <QDateTime>
#include <QFuture>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <chrono>

namespace quindle {

class ManifestFetcher;

// Sends the catalogued usage events to the web service, one POST each: no retry, no queue,
// nothing on disk, never an error shown to the person. Off until they switch it on, and then
// only while the update manifest allows events. Lives on the main thread.
class TelemetryClient : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QUrl base;                                // the web service; empty: nothing is sent
        std::chrono::milliseconds deadline{5000}; // in all, however the server trickles

        static Settings fromBuild();
    };

    static constexpr char switchKey[] = "quindle.telemetry.events";

    explicit TelemetryClient(const ManifestFetcher &manifest, QObject *parent = nullptr);
    TelemetryClient(const ManifestFetcher &manifest, Settings settings, QObject *parent = nullptr);
    // Aborts what is under way without waiting.
    ~TelemetryClient() override;

    // The person's switch, off unless they turned it on.
    static bool switchedOn();
    static bool setSwitchedOn(bool on);
    // The switch is on, a manifest is known and it allows events.
    bool eventsEnabled() const;

    // Posts the event when allowed and catalogued; the future is true once the server took it
    // (2xx), false when nothing was sent or it failed, as the log says.
    QFuture<bool> sendEvent(const QString &name, const EventProperties &properties = {});

    // {"event","props"(when any),"occurred_at"}, in that order, time in UTC to the second.
    static QByteArray payload(const QString &name, const EventProperties &properties,
                              const QDateTime &at);

private:
    const ManifestFetcher &m_manifest;
    Settings m_settings;
    QNetworkAccessManager m_network;
};

} // namespace quindle
