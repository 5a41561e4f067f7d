#pragma once

#include "updates/FeedbackClient.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace quindle {

// The feedback form's state and flow: the sender's address proven with a mailed code, then the
// report. The typed report stays whatever fails; each call can run once at a time.
class ShareExperience : public QObject {
    Q_OBJECT
public:
    struct Choice {
        QString label;
        QString value;
    };
    static const QList<Choice> &categories();
    static const QList<Choice> &severities();
    static const QList<Choice> &frequencies();
    static const QList<Choice> &features();

    struct Form {
        QString name;
        QString email;
        QString mobile; // optional: left out when empty
        QString code;
        QString category = QStringLiteral("bug");
        QString severity = QStringLiteral("medium");
        QString feature = QStringLiteral("tier");
        QString frequency = QStringLiteral("once");
    };

    enum class Call { None, RequestingCode, Verifying, Submitting };

    explicit ShareExperience(FeedbackClient &client, QObject *parent = nullptr);
    ~ShareExperience() override;

    Form &form() { return m_form; }
    const Form &form() const { return m_form; }
    bool configured() const { return m_client.configured(); }
    Call running() const { return m_running; }
    bool codeRequested() const { return m_codeRequested; }
    bool verified() const { return m_token.has_value(); }
    // Under the code field: where the code went, "Email verified — …", or why a call failed.
    const QString &status() const { return m_status; }
    bool statusIsError() const { return m_statusIsError; }
    // Beside "Send feedback": why the report was not sent.
    const QString &footerError() const { return m_footerError; }
    const std::optional<QString> &referenceId() const { return m_referenceId; }

    void requestCode();
    void verify();
    // The report with the editor's text; refused without a live token.
    void submit(const QString &messageHtml, const QString &messagePlain);
    // Closing the window: what is under way is dropped.
    void abort();

    FeedbackReport report(const QString &messageHtml, const QString &messagePlain) const;

    // "We emailed a 16-character code to … — it expires in about N minutes."
    static QString codeSentText(const QString &email, std::optional<qint64> expiresIn);
    static QString failureText(const FeedbackError &error);
    static QString expiredText();

Q_SIGNALS:
    void changed();
    // The service took a report of this category.
    void submitted(const QString &category);

private:
    void begin(Call call);
    void fail(const FeedbackError &error, bool inFooter);

    FeedbackClient &m_client;
    Form m_form;
    Call m_running = Call::None;
    bool m_codeRequested = false;
    std::optional<FeedbackVerifyToken> m_token;
    QString m_status;
    bool m_statusIsError = false;
    QString m_footerError;
    std::optional<QString> m_referenceId;
    int m_generation = 0; // answers of an aborted call are dropped
};

} // namespace quindle
