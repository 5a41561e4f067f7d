#include "updates/ManifestRequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPromise>
#include <QTimer>

#include <memory>

namespace quindle {

namespace {

QFuture<FetchReply> finishedWith(FetchReply reply) {
    QPromise<FetchReply> promise;
    promise.start();
    promise.addResult(std::move(reply));
    promise.finish();
    return promise.future();
}

} // namespace

QFuture<FetchReply> fetchManifest(QNetworkAccessManager &network, const QUrl &address,
                                  const HttpHeaders &headers, const FetchLimits &limits) {
    if (address.isEmpty())
        return finishedWith({FetchReply::Failure::NoAddress,
                             0,
                             {},
                             QStringLiteral("no manifest address is configured")});
    const std::variant<QNetworkReply *, QString> started =
        guardedGet(network, address, headers, limits.idle);
    if (const auto *refusal = std::get_if<QString>(&started))
        return finishedWith({FetchReply::Failure::Network, 0, {}, *refusal});

    QNetworkReply *reply = std::get<QNetworkReply *>(started);
    auto promise = std::make_shared<QPromise<FetchReply>>();
    promise->start();
    QFuture<FetchReply> future = promise->future();
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(limits.total);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, promise] {
        FetchReply result = outcome(*reply);
        if (reply->isOpen()) // not when a limit aborted it
            result.body = reply->readAll();
        promise->addResult(std::move(result));
        promise->finish();
        reply->deleteLater();
    });
    return future;
}

} // namespace quindle
