#include "updates/ShareExperience.h"

#include "core/BuildSettings.h"
#include "platform/HardwareModel.h"

#include <QSysInfo>

namespace quindle {

const QList<ShareExperience::Choice> &ShareExperience::categories() {
    static const QList<Choice> list{{QStringLiteral("Bug"), QStringLiteral("bug")},
                                    {QStringLiteral("Suggestion"), QStringLiteral("suggestion")},
                                    {QStringLiteral("Question"), QStringLiteral("question")},
                                    {QStringLiteral("Praise"), QStringLiteral("praise")},
                                    {QStringLiteral("Other"), QStringLiteral("other")}};
    return list;
}

const QList<ShareExperience::Choice> &ShareExperience::severities() {
    static const QList<Choice> list{{QStringLiteral("Low"), QStringLiteral("low")},
                                    {QStringLiteral("Medium"), QStringLiteral("medium")},
                                    {QStringLiteral("High"), QStringLiteral("high")},
                                    {QStringLiteral("Critical"), QStringLiteral("critical")}};
    return list;
}

const QList<ShareExperience::Choice> &ShareExperience::frequencies() {
    static const QList<Choice> list{{QStringLiteral("Once"), QStringLiteral("once")},
                                    {QStringLiteral("Occasional"), QStringLiteral("occasional")},
                                    {QStringLiteral("Frequent"), QStringLiteral("frequent")},
                                    {QStringLiteral("Every time"), QStringLiteral("always")}};
    return list;
}

const QList<ShareExperience::Choice> &ShareExperience::features() {
    static const QList<Choice> list{
        {QStringLiteral("Tier"), QStringLiteral("tier")},
        {QStringLiteral("Free Up Space"), QStringLiteral("free_up_space")},
        {QStringLiteral("Apps"), QStringLiteral("apps")},
        {QStringLiteral("Cloud"), QStringLiteral("cloud")},
        {QStringLiteral("Transfers"), QStringLiteral("transfers")},
        {QStringLiteral("Other"), QStringLiteral("other")}};
    return list;
}

ShareExperience::ShareExperience(FeedbackClient &client, QObject *parent)
    : QObject(parent)
    , m_client(client) {}

ShareExperience::~ShareExperience() {
    abort();
}

QString ShareExperience::codeSentText(const QString &email, std::optional<qint64> expiresIn) {
    const qint64 minutes = expiresIn && *expiresIn >= 60 ? *expiresIn / 60 : 1;
    return QStringLiteral("We emailed a 16-character code to %1. Paste it above — it expires in "
                          "about %2 minute%3.")
        .arg(email)
        .arg(minutes)
        .arg(minutes == 1 ? QString() : QStringLiteral("s"));
}

QString ShareExperience::failureText(const FeedbackError &error) {
    return QStringLiteral("Couldn't send feedback (%1).").arg(error.description());
}

QString ShareExperience::expiredText() {
    return QStringLiteral("Your verification has expired. Send a new code to continue.");
}

void ShareExperience::begin(Call call) {
    m_running = call;
    m_footerError.clear();
    Q_EMIT changed();
}

void ShareExperience::fail(const FeedbackError &error, bool inFooter) {
    m_running = Call::None;
    if (inFooter) {
        m_footerError = failureText(error);
    } else {
        m_status = failureText(error);
        m_statusIsError = true;
    }
    Q_EMIT changed();
}

void ShareExperience::requestCode() {
    if (m_running != Call::None)
        return;
    const QString email = m_form.email.trimmed();
    begin(Call::RequestingCode);
    m_client.requestOtp(email).then(this, [this, email, generation = m_generation](
                                              const FeedbackResult<std::optional<qint64>> &result) {
        if (generation != m_generation)
            return;
        if (const auto *error = std::get_if<FeedbackError>(&result))
            return fail(*error, false);
        m_running = Call::None;
        m_codeRequested = true;
        m_status = codeSentText(email, std::get<std::optional<qint64>>(result));
        m_statusIsError = false;
        Q_EMIT changed();
    });
}

void ShareExperience::verify() {
    if (m_running != Call::None)
        return;
    begin(Call::Verifying);
    m_client.verifyOtp(m_form.email.trimmed(), m_form.code.trimmed())
        .then(this,
              [this, generation = m_generation](const FeedbackResult<FeedbackVerifyToken> &result) {
                  if (generation != m_generation)
                      return;
                  if (const auto *error = std::get_if<FeedbackError>(&result))
                      return fail(*error, false);
                  m_running = Call::None;
                  m_token = std::get<FeedbackVerifyToken>(result);
                  m_status = QStringLiteral("Email verified — go ahead and send your feedback.");
                  m_statusIsError = false;
                  Q_EMIT changed();
              });
}

void ShareExperience::submit(const QString &messageHtml, const QString &messagePlain) {
    if (m_running != Call::None || !m_token)
        return;
    if (m_token->expiredAt(QDateTime::currentDateTimeUtc())) {
        m_token.reset();
        m_footerError = expiredText();
        m_status.clear();
        Q_EMIT changed();
        return;
    }
    const FeedbackReport sent = report(messageHtml, messagePlain);
    begin(Call::Submitting);
    m_client.submit(m_token->token, sent)
        .then(this, [this, category = sent.category,
                     generation = m_generation](const FeedbackResult<QString> &result) {
            if (generation != m_generation)
                return;
            if (const auto *error = std::get_if<FeedbackError>(&result))
                return fail(*error, true);
            m_running = Call::None;
            m_referenceId = std::get<QString>(result);
            Q_EMIT changed();
            Q_EMIT submitted(category);
        });
}

void ShareExperience::abort() {
    ++m_generation;
    if (m_running == Call::None)
        return;
    m_running = Call::None;
    m_client.abort();
    Q_EMIT changed();
}

FeedbackReport ShareExperience::report(const QString &messageHtml,
                                       const QString &messagePlain) const {
    const bool bug = m_form.category == QLatin1String("bug");
    const QString mobile = m_form.mobile.trimmed();
    return {m_form.name.trimmed(),
            m_form.email.trimmed(),
            mobile.isEmpty() ? std::nullopt : std::optional(mobile),
            m_form.category,
            bug ? std::optional(m_form.severity) : std::nullopt,
            m_form.feature,
            bug ? std::optional(m_form.frequency) : std::nullopt,
            messageHtml,
            messagePlain,
            build::version(),
            {platform::hardwareModel(), platform::operatingSystemVersion(),
             QSysInfo::buildCpuArchitecture()}};
}

} // namespace quindle
