#pragma once

#include <QDateTime>
#include <QFuture>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>
#include <variant>

namespace quindle {

// Why a feedback call failed: the service's own answer, or a code of ours (http_error,
// decode_failed, malformed_response), or the transport's text.
struct FeedbackError {
    int httpStatus = 0;
    QString code;   // empty for a transport failure
    QString detail; // the service's words, or the transport's

    // `detail` when there is one, else code + " (HTTP " + status + ")".
    QString description() const;
};

struct FeedbackVerifyToken {
    QString token;
    QDateTime issuedAt;
    qint64 expiresIn = 0; // seconds

    bool expiredAt(const QDateTime &now) const { return issuedAt.addSecs(expiresIn) < now; }
};

struct FeedbackMachineInfo {
    QString model;
    QString osVersion;
    QString arch;
};

struct FeedbackReport {
    QString name;
    QString email;
    std::optional<QString> mobile;
    QString category;
    std::optional<QString> severity; // bugs only
    QString affectedFeature;
    std::optional<QString> frequency; // bugs only
    QString messageHtml;
    QString messagePlain;
    QString appVersion;
    FeedbackMachineInfo machineInfo;

    // The submit body: optional fields left out, never null.
    QJsonObject body(const QString &token) const;
};

template <typename T> using FeedbackResult = std::variant<T, FeedbackError>;

// The three JSON calls behind the feedback form: a one-time code mailed to the sender, the code
// exchanged for a short-lived token, the report submitted with it. Lives on the main thread;
// abort() ends what is under way, its future failing with Qt's text.
class FeedbackClient : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QUrl base; // the web service; empty: every call fails with noAddressMessage()
        std::chrono::milliseconds deadline{15000};

        static Settings fromBuild();
    };

    explicit FeedbackClient(Settings settings = Settings::fromBuild(), QObject *parent = nullptr);

    bool configured() const { return !m_settings.base.isEmpty(); }
    static QString noAddressMessage();

    // The code's lifetime in seconds, when the service says.
    QFuture<FeedbackResult<std::optional<qint64>>> requestOtp(const QString &email);
    QFuture<FeedbackResult<FeedbackVerifyToken>> verifyOtp(const QString &email,
                                                           const QString &code);
    // The reference ID.
    QFuture<FeedbackResult<QString>> submit(const QString &token, const FeedbackReport &report);
    void abort();

private:
    QFuture<FeedbackResult<QJsonObject>> postJson(const QString &path, const QJsonObject &body);

    Settings m_settings;
    QNetworkAccessManager m_network;
};

} // namespace quindle
