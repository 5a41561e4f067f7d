#include "transfers/RcloneAuth.h"

#include "platform/ChildProcess.h"
#include "platform/DesktopOpen.h"
#include "platform/InstallHints.h"
#include "platform/SilentUrlOpener.h"
#include "transfers/RcloneClient.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace quindle {

namespace {

const QString googleSignInHost = QStringLiteral("accounts.google.com");

QString notInstalledText() {
    const QString command = platform::installCommand(QStringLiteral("rclone"));
    return command.isEmpty()
               ? QStringLiteral("rclone is not installed.\n\nInstall it with your package manager.")
               : QStringLiteral("rclone is not installed.\n\nInstall with:\n  ") + command;
}

// rclone prints the token it received; it must not reach the screen or a log.
bool holdsToken(const QString &line) {
    return line.contains(QLatin1String("access_token")) ||
           line.contains(QLatin1String("refresh_token"));
}

} // namespace

RcloneAuth::RcloneAuth(QObject *parent)
    : QObject(parent)
    , m_opener([](const QUrl &url) { platform::openUrl(url); }) {}

RcloneAuth::~RcloneAuth() = default;

QStringList RcloneAuth::arguments(const QString &nickname, const QString &type,
                                  const QString &clientId, const QString &clientSecret) {
    QStringList arguments{QStringLiteral("config"), QStringLiteral("create"), nickname, type,
                          QStringLiteral("config_is_local=true")};
    if (!clientId.trimmed().isEmpty())
        arguments << QStringLiteral("client_id=") + clientId.trimmed();
    if (!clientSecret.trimmed().isEmpty())
        arguments << QStringLiteral("client_secret=") + clientSecret.trimmed();
    return arguments;
}

std::optional<QUrl> RcloneAuth::signInAddress(const QString &text) {
    static const QRegularExpression address(QStringLiteral(R"(https?://[^\s"'<>]+)"));
    for (const QRegularExpressionMatch &match : address.globalMatch(text)) {
        const QUrl found(match.captured());
        const QString host = found.host();
        const bool loopback =
            host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost");
        // "Make sure your Redirect URL is set to http://127.0.0.1:53682/" names the callback
        // itself, not where to sign in.
        if (loopback && found.path().size() <= 1 && !found.hasQuery())
            continue;
        if (loopback || host == googleSignInHost ||
            match.captured().contains(QLatin1String("oauth2")))
            return found;
    }
    return std::nullopt;
}

QUrl RcloneAuth::withAccountChooser(const QUrl &url) {
    if (url.host() != googleSignInHost)
        return url;
    QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("prompt")))
        return url;
    query.addQueryItem(QStringLiteral("prompt"), QStringLiteral("select_account"));
    QUrl chooser = url;
    chooser.setQuery(query);
    return chooser;
}

void RcloneAuth::start(const QString &nickname, const QString &type, const QString &clientId,
                       const QString &clientSecret) {
    if (m_child)
        return;
    m_url.clear();
    m_output.clear();
    m_savingToken = false;
    m_canceling = false;
    const QString rclone = RcloneClient::locate();
    if (rclone.isEmpty())
        return moveTo(Step::Failed, notInstalledText());

    platform::ChildCommand command(rclone, arguments(nickname, type, clientId, clientSecret));
    command.channels = platform::ChildCommand::Channels::Combined;
    command.delivery = platform::ChildCommand::Delivery::Lines;
    command.endsWithParent = true;
    command.environment.insert(QStringLiteral("RCLONE_ASK_PASSWORD"), QStringLiteral("false"));
    m_silentOpener = std::make_unique<platform::SilentUrlOpener>();
    if (m_silentOpener->isValid())
        command.environment.insert(QStringLiteral("PATH"), m_silentOpener->searchPath());
    m_child = std::make_unique<platform::ChildProcess>(std::move(command));
    connect(m_child.get(), &platform::ChildProcess::line, this,
            [this](platform::ChildStream, const QString &line) { take(line); });
    connect(m_child.get(), &platform::ChildProcess::finished, this, &RcloneAuth::finish);
    moveTo(Step::Starting);
    if (!m_child->start()) {
        const QString reason = m_child->result().startError;
        m_child.release()->deleteLater();
        moveTo(Step::Failed, QStringLiteral("Could not launch rclone: ") + reason);
    }
}

void RcloneAuth::take(const QString &line) {
    m_output += (holdsToken(line) ? QStringLiteral("(token received)") : line) + QLatin1Char('\n');
    Q_EMIT outputChanged();
    if (m_step == Step::Starting) {
        if (const std::optional<QUrl> address = signInAddress(line)) {
            m_url = withAccountChooser(*address);
            moveTo(Step::AwaitingBrowser);
            m_opener(m_url);
        }
    } else if (m_step == Step::AwaitingBrowser && line.contains(QLatin1String("Got code"))) {
        m_savingToken = true;
        Q_EMIT stepChanged();
    }
}

void RcloneAuth::finish(const platform::ChildResult &result) {
    m_child.release()->deleteLater();
    m_silentOpener.reset();
    if (m_canceling || result.outcome == platform::ChildResult::Outcome::Signalled)
        return moveTo(Step::Canceled);
    if (result.outcome == platform::ChildResult::Outcome::FailedToStart)
        return moveTo(Step::Failed,
                      QStringLiteral("Could not launch rclone: ") + result.startError);
    if (result.exitCode == 0)
        return moveTo(Step::Done);
    moveTo(Step::Failed, QStringLiteral("rclone exited with code %1.\n\nLast output:\n%2")
                             .arg(result.exitCode)
                             .arg(m_output.right(failureTailCharacters)));
}

void RcloneAuth::reopenUrl() {
    if (m_step == Step::AwaitingBrowser && m_url.isValid())
        m_opener(m_url);
}

void RcloneAuth::cancel() {
    if (!m_child)
        return;
    m_canceling = true;
    m_child->stop();
}

void RcloneAuth::reset() {
    if (!m_child)
        moveTo(Step::Idle);
}

void RcloneAuth::moveTo(Step step, const QString &message) {
    m_step = step;
    m_message = message;
    Q_EMIT stepChanged();
}

QString RcloneAuth::title() const {
    switch (m_step) {
    case Step::Idle:
    case Step::Starting:
        return QStringLiteral("Starting authentication…");
    case Step::AwaitingBrowser:
        return m_savingToken ? QStringLiteral("Saving account…")
                             : QStringLiteral("Opening browser…");
    case Step::Done:
        return QStringLiteral("Account added");
    case Step::Failed:
        return QStringLiteral("Could not add account");
    case Step::Canceled:
        return QStringLiteral("Authentication canceled");
    }
    return {};
}

QString RcloneAuth::detail() const {
    switch (m_step) {
    case Step::Idle:
    case Step::Starting:
        return QStringLiteral("Launching rclone and preparing the OAuth callback…");
    case Step::AwaitingBrowser:
        return m_savingToken
                   ? QStringLiteral("Writing the OAuth token to rclone's config…")
                   : QStringLiteral(
                         "Your default browser should be opening with Google's sign-in page.");
    case Step::Done:
        return QStringLiteral("The account is ready to use in transfers.");
    case Step::Failed:
        return m_message;
    case Step::Canceled:
        return QStringLiteral("The sign-in was canceled. No account was added.");
    }
    return {};
}

} // namespace quindle
