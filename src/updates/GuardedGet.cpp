#include "updates/GuardedGet.h"

#include "updates/AddressPolicy.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace quindle {

namespace {

// Set on a reply whose redirect was stopped, with the reason.
constexpr char refusedRedirect[] = "quindle.refusedRedirect";

// Qt turns a 4xx or 5xx status into an error of its own; the status says it better.
bool isStatusError(QNetworkReply::NetworkError error, int status) {
    return status >= 400 && error >= QNetworkReply::ContentAccessDenied;
}

} // namespace

std::variant<QNetworkReply *, QString> guardedGet(QNetworkAccessManager &network,
                                                  const QUrl &address, const HttpHeaders &headers,
                                                  std::chrono::milliseconds idle) {
    if (const std::optional<QString> refusal = addressRefusal(address))
        return *refusal;
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(idle.count()));
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);

    QNetworkReply *reply = network.get(request);
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl &to) {
        if (const std::optional<QString> refusal = addressRefusal(to)) {
            reply->setProperty(refusedRedirect, *refusal);
            reply->abort();
        } else {
            Q_EMIT reply->redirectAllowed();
        }
    });
    return reply;
}

FetchReply outcome(const QNetworkReply &reply) {
    FetchReply result;
    result.httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply.error();
    if (const QVariant refusal = reply.property(refusedRedirect); refusal.isValid()) {
        result.failure = FetchReply::Failure::Network;
        result.error = refusal.toString();
    } else if (error == QNetworkReply::OperationCanceledError) {
        result.failure = FetchReply::Failure::TimedOut;
        result.error = QStringLiteral("The request timed out.");
    } else if (error != QNetworkReply::NoError && !isStatusError(error, result.httpStatus)) {
        result.failure = FetchReply::Failure::Network;
        result.error = reply.errorString();
    }
    return result;
}

} // namespace quindle
