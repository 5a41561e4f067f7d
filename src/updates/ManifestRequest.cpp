#include "updates/ManifestRequest.h"

#include "updates/AddressPolicy.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QTimer>

#include <memory>

namespace quindle {

namespace {

struct Pending {
    QPromise<FetchReply> promise;
    std::optional<QString> refusedRedirect;
};

QFuture<FetchReply> finishedWith(FetchReply reply) {
    QPromise<FetchReply> promise;
    promise.start();
    promise.addResult(std::move(reply));
    promise.finish();
    return promise.future();
}

// Qt turns a 4xx or 5xx status into an error of its own; the status says it better.
bool isStatusError(QNetworkReply::NetworkError error, int status) {
    return status >= 400 && error >= QNetworkReply::ContentAccessDenied;
}

FetchReply describe(QNetworkReply &reply, const Pending &pending) {
    FetchReply result;
    result.httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply.readAll();
    const QNetworkReply::NetworkError error = reply.error();
    if (pending.refusedRedirect) {
        result.failure = FetchReply::Failure::Network;
        result.error = *pending.refusedRedirect;
    } else if (error == QNetworkReply::OperationCanceledError) {
        // Only the limits cancel a request: the deadline below or Qt's transfer timeout.
        result.failure = FetchReply::Failure::TimedOut;
        result.error = QStringLiteral("The request timed out.");
    } else if (error != QNetworkReply::NoError && !isStatusError(error, result.httpStatus)) {
        result.failure = FetchReply::Failure::Network;
        result.error = reply.errorString();
    }
    return result;
}

} // namespace

QFuture<FetchReply> fetchManifest(QNetworkAccessManager &network, const QUrl &address,
                                  const HttpHeaders &headers, const FetchLimits &limits) {
    if (address.isEmpty())
        return finishedWith({FetchReply::Failure::NoAddress,
                             0,
                             {},
                             QStringLiteral("no manifest address is configured")});
    if (const std::optional<QString> refusal = addressRefusal(address))
        return finishedWith({FetchReply::Failure::Network, 0, {}, *refusal});

    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(limits.idle.count()));
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);

    auto pending = std::make_shared<Pending>();
    pending->promise.start();
    QFuture<FetchReply> future = pending->promise.future();
    QNetworkReply *reply = network.get(request);

    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, pending](const QUrl &to) {
        if (const std::optional<QString> refusal = addressRefusal(to)) {
            pending->refusedRedirect = *refusal;
            reply->abort();
        } else {
            Q_EMIT reply->redirectAllowed();
        }
    });
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(limits.total);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, pending] {
        pending->promise.addResult(describe(*reply, *pending));
        pending->promise.finish();
        reply->deleteLater();
    });
    return future;
}

} // namespace quindle
