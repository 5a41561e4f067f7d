#include "updates/GuardedPost.h"

#include "updates/AddressPolicy.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QTimer>

#include <memory>

namespace quindle {

QUrl serviceEndpoint(const QUrl &base, const QString &path) {
    if (base.isEmpty())
        return {};
    QUrl address = base;
    QString joined = base.path();
    while (joined.endsWith(QLatin1Char('/')))
        joined.chop(1);
    QString tail = path;
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    address.setPath(joined + QLatin1Char('/') + tail);
    return address;
}

QFuture<FetchReply> guardedPost(QNetworkAccessManager &network, const QUrl &address,
                                const QByteArray &json, const HttpHeaders &headers,
                                std::chrono::milliseconds deadline) {
    auto promise = std::make_shared<QPromise<FetchReply>>();
    QFuture<FetchReply> future = promise->future();
    promise->start();
    const auto finish = [promise](FetchReply reply) {
        promise->addResult(std::move(reply));
        promise->finish();
    };
    if (address.isEmpty()) {
        finish({FetchReply::Failure::NoAddress, 0, {}, {}});
        return future;
    }
    if (const std::optional<QString> refusal = addressRefusal(address)) {
        finish({FetchReply::Failure::Network, 0, {}, networkError(*refusal)});
        return future;
    }
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply *reply = network.post(request, json);
    QTimer::singleShot(deadline, reply, [reply] { reply->abort(); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, finish] {
        FetchReply result = outcome(*reply);
        if (result.failure == FetchReply::Failure::None)
            result.body = reply->readAll();
        reply->deleteLater();
        finish(std::move(result));
    });
    // Deleting the network deletes the reply and with it the last hold on the promise: the
    // future ends cancelled.
    return future;
}

} // namespace quindle
