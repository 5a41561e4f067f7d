#include "updates/ManifestPing.h"

#include "core/AtomicFile.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "updates/ManifestSignature.h"
#include "updates/ProductHeaders.h"
#include "updates/SplashLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPromise>

namespace quindle {

ManifestPing::ManifestPing(Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_network(std::make_unique<QNetworkAccessManager>()) {}

ManifestPing::~ManifestPing() = default;

QFuture<bool> ManifestPing::run() {
    if (m_run)
        return *m_run;
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    m_run = promise->future();
    whenFinished(
        fetch(QStringLiteral("primary"), m_settings.primary), this, [this, promise](bool ok) {
            if (ok || m_cancelled) {
                promise->addResult(ok);
                promise->finish();
                return;
            }
            splashLog(QStringLiteral("primary manifest fetch failed; trying fallback…"));
            whenFinished(fetch(QStringLiteral("fallback"), m_settings.fallback), this,
                         [promise](bool ok) {
                             if (!ok)
                                 splashLog(QStringLiteral("both primary and fallback failed; "
                                                          "offline state will be shown."));
                             promise->addResult(ok);
                             promise->finish();
                         });
        });
    return *m_run;
}

void ManifestPing::cancel() {
    m_cancelled = true;
    // Requests belong to their manager: dropping it aborts the one under way.
    m_network = std::make_unique<QNetworkAccessManager>();
}

QFuture<bool> ManifestPing::fetch(const QString &label, const QUrl &address) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    const QFuture<FetchReply> reply =
        fetchManifest(*m_network, address, productHeaders(Fingerprint::Omit), m_settings.limits);
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    const QFuture<bool> result = promise->future();
    // A cancelled request (the manager dropped) never calls back: finish false from the
    // watcher's cancellation instead.
    auto *watcher = new QFutureWatcher<FetchReply>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, promise, label, address, clock] {
                watcher->deleteLater();
                const bool ok = !watcher->isCanceled() &&
                                accept(label, address, watcher->result(), clock->elapsed());
                promise->addResult(ok);
                promise->finish();
            });
    watcher->setFuture(reply);
    return result;
}

bool ManifestPing::accept(const QString &label, const QUrl &address, const FetchReply &reply,
                          qint64 elapsedMs) {
    const QString url = address.toString();
    switch (reply.failure) {
    case FetchReply::Failure::None:
        break;
    case FetchReply::Failure::TimedOut:
        // Qt's coarse timers may fire a little early: near the deadline it was the deadline.
        if (elapsedMs * 10 >= m_settings.limits.total.count() * 9) {
            splashLog(label + QStringLiteral(" manifest fetch hit per-call hard timeout (") +
                      limitText(m_settings.limits.total) + QLatin1Char(')'));
            return false;
        }
        [[fallthrough]];
    case FetchReply::Failure::NoAddress:
    case FetchReply::Failure::Network:
        splashLog(QStringLiteral("manifest fetch/parse failed for %1 @ %2: %3")
                      .arg(label, url, reply.error));
        return false;
    }
    if (reply.httpStatus < 200 || reply.httpStatus > 299) {
        splashLog(QStringLiteral("manifest fetch %1 @ %2 returned HTTP %3")
                      .arg(label, url)
                      .arg(reply.httpStatus));
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    if (!document.isObject()) {
        splashLog(QStringLiteral("manifest from %1 parsed but wasn't a JSON object").arg(url));
        return false;
    }
    if (!m_settings.signingKey.isEmpty() &&
        checkManifestSignature(document.object(), m_settings.signingKey) != SignatureCheck::Valid) {
        splashLog(
            QStringLiteral("manifest from %1 failed its signature check — not cached").arg(url));
        return false;
    }
    const QString cache = paths::manifestCacheFile();
    QDir().mkpath(QFileInfo(cache).path());
    if (const std::optional<QString> error = writeFileAtomically(cache, reply.body))
        splashLog(QStringLiteral("couldn't write cache (%1) — continuing").arg(*error));
    else
        splashLog(QStringLiteral("manifest cached to ") + cache);
    return true;
}

} // namespace quindle
