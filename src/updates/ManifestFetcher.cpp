#include "updates/ManifestFetcher.h"

#include "core/AtomicFile.h"
#include "core/BuildSettings.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "updates/AddressPolicy.h"
#include "updates/ManifestSignature.h"
#include "updates/VersionCompare.h"

#include <QDebug>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace quindle {

namespace {

// Why a transfer brought no manifest to read, or nothing when it did.
std::optional<QString> transferFailure(const FetchReply &reply) {
    switch (reply.failure) {
    case FetchReply::Failure::NoAddress:
        return QStringLiteral("Manifest fetch failed: ") + reply.error;
    case FetchReply::Failure::Network:
    case FetchReply::Failure::TimedOut:
        return networkError(reply.error);
    case FetchReply::Failure::None:
        break;
    }
    if (reply.httpStatus == 0)
        return QStringLiteral("Unexpected response (no HTTP status)");
    if (reply.httpStatus != 200)
        return QStringLiteral("Manifest fetch failed: HTTP %1").arg(reply.httpStatus);
    return std::nullopt;
}

std::optional<ManifestV2> cachedManifest() {
    const std::optional<QByteArray> body = readWholeFile(paths::manifestCacheFile());
    if (!body)
        return std::nullopt;
    auto decoded = ManifestV2::decode(*body);
    if (auto *manifest = std::get_if<ManifestV2>(&decoded))
        return std::move(*manifest);
    return std::nullopt;
}

} // namespace

ManifestFetcher::Settings ManifestFetcher::Settings::fromBuild() {
    Settings settings;
    settings.address = build::manifestUrl();
    settings.signingKey = build::manifestSigningKey();
    return settings;
}

ManifestFetcher::ManifestFetcher(QObject *parent)
    : ManifestFetcher(Settings::fromBuild(), parent) {}

ManifestFetcher::ManifestFetcher(Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_manifest(cachedManifest()) {}

bool ManifestFetcher::updateAvailable() const {
    return m_manifest && compareVersions(build::version(), m_manifest->version) < 0;
}

QFuture<void> ManifestFetcher::refresh() {
    if (m_running)
        return m_running->future();
    m_running = std::make_shared<QPromise<void>>();
    m_running->start();
    QFuture<void> future = m_running->future();
    Q_EMIT changed();
    whenFinished(fetchManifest(m_network, m_settings.address, productHeaders(Fingerprint::Include),
                               m_settings.limits),
                 this, [this](const FetchReply &reply) { complete(reply); });
    return future;
}

void ManifestFetcher::complete(const FetchReply &reply) {
    std::optional<QString> error = transferFailure(reply);
    if (!error)
        error = accept(reply.body);
    m_lastError = error;
    m_lastChecked = QDateTime::currentDateTimeUtc();
    const std::shared_ptr<QPromise<void>> finished = std::move(m_running);
    Q_EMIT changed();
    finished->finish();
}

std::optional<QString> ManifestFetcher::accept(const QByteArray &body) {
    auto decoded = ManifestV2::decode(body);
    if (const auto *error = std::get_if<QString>(&decoded))
        return QStringLiteral("Couldn't parse manifest: ") + *error;
    if (!m_settings.signingKey.isEmpty()) {
        const QJsonObject document = QJsonDocument::fromJson(body).object();
        switch (checkManifestSignature(document, m_settings.signingKey)) {
        case SignatureCheck::Missing:
            return QStringLiteral("Manifest missing signature — refusing payload");
        case SignatureCheck::Mismatch:
            return QStringLiteral("Manifest signature mismatch — refusing payload");
        case SignatureCheck::Valid:
            break;
        }
    }
    m_manifest = std::get<ManifestV2>(std::move(decoded));
    m_hasFreshManifest = true;
    // A cache that cannot be written costs the next launch a fetch, nothing more.
    QDir().mkpath(paths::stateDirectory());
    if (const std::optional<QString> failed = writeFileAtomically(paths::manifestCacheFile(), body))
        qWarning().noquote() << "Quindle: couldn't cache the update manifest:" << *failed;
    return std::nullopt;
}

} // namespace quindle
