#include "updates/FeedbackClient.h"

#include "core/BuildSettings.h"
#include "updates/GuardedPost.h"
#include "updates/ProductHeaders.h"

#include <QJsonDocument>
#include <QNetworkReply>

namespace quindle {

namespace {

FeedbackError ownError(int status, const char *code) {
    return {status, QLatin1String(code), {}};
}

// An answer of the service's own, or why there is none to read.
FeedbackResult<QJsonObject> decodeReply(const FetchReply &reply) {
    if (reply.failure == FetchReply::Failure::NoAddress)
        return FeedbackError{0, {}, FeedbackClient::noAddressMessage()};
    if (reply.failure != FetchReply::Failure::None)
        return FeedbackError{0, {}, reply.error};
    if (reply.httpStatus == 0)
        return ownError(0, "malformed_response");
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(reply.body, &parse);
    const bool decoded = parse.error == QJsonParseError::NoError && document.isObject();
    if (reply.httpStatus < 200 || reply.httpStatus > 299) {
        const QJsonObject error = document.object();
        if (!decoded || !error.value(QLatin1String("error")).isString())
            return ownError(reply.httpStatus, "http_error");
        return FeedbackError{reply.httpStatus, error.value(QLatin1String("error")).toString(),
                             error.value(QLatin1String("detail")).toString()};
    }
    if (!decoded || !document.object().value(QLatin1String("ok")).isBool())
        return ownError(reply.httpStatus, "decode_failed");
    return document.object();
}

// Reads the fields a call expects out of a decoded answer.
template <typename T, typename Read>
QFuture<FeedbackResult<T>> expect(QFuture<FeedbackResult<QJsonObject>> answer, QObject *context,
                                  Read read) {
    return answer.then(context, [read](const FeedbackResult<QJsonObject> &result) {
        if (const auto *error = std::get_if<FeedbackError>(&result))
            return FeedbackResult<T>(*error);
        const std::optional<T> value = read(std::get<QJsonObject>(result));
        return value ? FeedbackResult<T>(*value)
                     : FeedbackResult<T>(ownError(200, "decode_failed"));
    });
}

} // namespace

QString FeedbackError::description() const {
    if (!detail.isEmpty())
        return detail;
    return QStringLiteral("%1 (HTTP %2)").arg(code).arg(httpStatus);
}

QJsonObject FeedbackReport::body(const QString &token) const {
    QJsonObject json{
        {"token", token},
        {"name", name},
        {"email", email},
        {"category", category},
        {"affected_feature", affectedFeature},
        {"message_html", messageHtml},
        {"message_plain", messagePlain},
        {"app_version", appVersion},
        {"machine_info", QJsonObject{{"model", machineInfo.model},
                                     {"os_version", machineInfo.osVersion},
                                     {"arch", machineInfo.arch}}},
    };
    if (mobile)
        json.insert(QLatin1String("mobile"), *mobile);
    if (severity)
        json.insert(QLatin1String("severity"), *severity);
    if (frequency)
        json.insert(QLatin1String("frequency"), *frequency);
    return json;
}

FeedbackClient::Settings FeedbackClient::Settings::fromBuild() {
    return {build::serviceUrl(), std::chrono::milliseconds(15000)};
}

FeedbackClient::FeedbackClient(Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings)) {}

QString FeedbackClient::noAddressMessage() {
    return QStringLiteral(
        "Feedback can't be sent from this build: no service address is configured.");
}

void FeedbackClient::abort() {
    for (QNetworkReply *reply : m_network.findChildren<QNetworkReply *>())
        reply->abort();
}

QFuture<FeedbackResult<QJsonObject>> FeedbackClient::postJson(const QString &path,
                                                              const QJsonObject &body) {
    return guardedPost(m_network, serviceEndpoint(m_settings.base, path),
                       QJsonDocument(body).toJson(QJsonDocument::Compact),
                       productHeaders(Fingerprint::Include), m_settings.deadline)
        .then(this, [](const FetchReply &reply) { return decodeReply(reply); });
}

QFuture<FeedbackResult<std::optional<qint64>>> FeedbackClient::requestOtp(const QString &email) {
    return expect<std::optional<qint64>>(
        postJson(QStringLiteral("/api/feedback/request-otp"), {{"email", email}}), this,
        [](const QJsonObject &answer) -> std::optional<std::optional<qint64>> {
            const QJsonValue expires = answer.value(QLatin1String("expires_in"));
            if (expires.isDouble())
                return std::optional<qint64>(expires.toInteger());
            return std::optional<qint64>();
        });
}

QFuture<FeedbackResult<FeedbackVerifyToken>> FeedbackClient::verifyOtp(const QString &email,
                                                                       const QString &code) {
    return expect<FeedbackVerifyToken>(
        postJson(QStringLiteral("/api/feedback/verify-otp"), {{"email", email}, {"code", code}}),
        this, [](const QJsonObject &answer) -> std::optional<FeedbackVerifyToken> {
            const QJsonValue token = answer.value(QLatin1String("token"));
            const QJsonValue expires = answer.value(QLatin1String("expires_in"));
            if (!token.isString() || !expires.isDouble())
                return std::nullopt;
            return FeedbackVerifyToken{token.toString(), QDateTime::currentDateTimeUtc(),
                                       expires.toInteger()};
        });
}

QFuture<FeedbackResult<QString>> FeedbackClient::submit(const QString &token,
                                                        const FeedbackReport &report) {
    return expect<QString>(postJson(QStringLiteral("/api/feedback/submit"), report.body(token)),
                           this, [](const QJsonObject &answer) -> std::optional<QString> {
                               const QJsonValue id = answer.value(QLatin1String("id"));
                               return id.isString() ? std::optional(id.toString()) : std::nullopt;
                           });
}

} // namespace quindle
