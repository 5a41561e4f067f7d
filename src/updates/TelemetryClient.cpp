#include "updates/TelemetryClient.h"

#include "core/AppPreferences.h"
#include "core/BuildSettings.h"
#include "updates/GuardedPost.h"
#include "updates/ManifestFetcher.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

namespace quindle {

TelemetryClient::Settings TelemetryClient::Settings::fromBuild() {
    return {build::serviceUrl(), std::chrono::milliseconds(5000)};
}

TelemetryClient::TelemetryClient(const ManifestFetcher &manifest, QObject *parent)
    : TelemetryClient(manifest, Settings::fromBuild(), parent) {}

TelemetryClient::TelemetryClient(const ManifestFetcher &manifest, Settings settings,
                                 QObject *parent)
    : QObject(parent)
    , m_manifest(manifest)
    , m_settings(std::move(settings)) {}

TelemetryClient::~TelemetryClient() {
    for (QNetworkReply *reply : m_network.findChildren<QNetworkReply *>())
        reply->abort();
}

bool TelemetryClient::switchedOn() {
    return readPreference(QLatin1String(switchKey), false).toBool();
}

bool TelemetryClient::setSwitchedOn(bool on) {
    return storePreference(QLatin1String(switchKey), on);
}

bool TelemetryClient::eventsEnabled() const {
    return switchedOn() && m_manifest.manifest() && m_manifest.manifest()->behaviour.telemetry.events;
}

QByteArray TelemetryClient::payload(const QString &name, const EventProperties &properties,
                                    const QDateTime &at) {
    // QJsonObject sorts its keys; the order is part of the format, so it is written by hand.
    const auto quoted = [](const QString &text) {
        return QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    };
    QByteArray json = "{\"event\":" + quoted(name);
    if (!properties.isEmpty()) {
        QJsonObject props;
        for (auto property = properties.cbegin(); property != properties.cend(); ++property)
            props.insert(property.key(), property.value());
        json += ",\"props\":" + QJsonDocument(props).toJson(QJsonDocument::Compact);
    }
    return json + ",\"occurred_at\":" +
           quoted(at.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"))) + "}";
}

QFuture<bool> TelemetryClient::sendEvent(const QString &name, const EventProperties &properties) {
    if (!eventsEnabled() || m_settings.base.isEmpty())
        return QtFuture::makeReadyFuture(false);
    if (!isCataloguedEvent(name, properties)) {
        qWarning().noquote() << QStringLiteral("Quindle telemetry: dropped event ") + name;
        return QtFuture::makeReadyFuture(false);
    }
    const QUrl address = serviceEndpoint(m_settings.base, QStringLiteral("/api/telemetry/event"));
    return guardedPost(m_network, address,
                       payload(name, properties, QDateTime::currentDateTimeUtc()),
                       productHeaders(Fingerprint::Include), m_settings.deadline)
        .then(this, [address](const FetchReply &reply) {
            if (reply.failure != FetchReply::Failure::None) {
                qWarning().noquote()
                    << QStringLiteral("Quindle telemetry: send failed: ") + reply.error;
                return false;
            }
            if (reply.httpStatus < 200 || reply.httpStatus > 299) {
                qWarning().noquote() << QStringLiteral("Quindle telemetry: HTTP %1 on %2")
                                            .arg(reply.httpStatus)
                                            .arg(address.toString());
                return false;
            }
            return true;
        });
}

} // namespace quindle
