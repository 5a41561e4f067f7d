#include "mover/ProcessRunner.h"

#include "platform/ProgramLocations.h"

namespace quindle {

int runProcessAsync(const QString &executablePath, const QStringList &arguments) {
    platform::ChildCommand command(executablePath, arguments);
    // Discarded rather than piped: an unread pipe would stall a child that prints a lot.
    command.channels = platform::ChildCommand::Channels::Discarded;
    return platform::ChildProcess::run(command).shellStatus();
}

std::optional<qint64> duKBAsync(const QString &path) {
    const platform::ChildResult du = platform::ChildProcess::run(
        platform::ChildCommand(platform::duExecutable(), {QStringLiteral("-sk"), path}));
    if (!du.succeeded())
        return std::nullopt;
    const QString output = QString::fromUtf8(du.output);
    const qsizetype tab = output.indexOf(QLatin1Char('\t'));
    const QString number = (tab < 0 ? output : output.left(tab)).trimmed();
    bool ok = false;
    const qint64 kb = number.toLongLong(&ok);
    return ok ? std::optional<qint64>(kb) : std::nullopt;
}

QString formatCommandLine(const QString &executablePath, const QStringList &arguments) {
    QStringList parts{executablePath};
    for (const QString &argument : arguments) {
        if (!argument.contains(QLatin1Char(' '))) {
            parts << argument;
            continue;
        }
        QString escaped = argument;
        escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
        parts << QLatin1Char('"') + escaped + QLatin1Char('"');
    }
    return parts.join(QLatin1Char(' '));
}

StreamedProcess::StreamedProcess(QObject *parent)
    : QObject(parent) {}

// The child's own destructor stops it.
StreamedProcess::~StreamedProcess() = default;

bool StreamedProcess::start(const QString &executablePath, const QStringList &arguments,
                            const Options &options) {
    platform::ChildCommand command(executablePath, arguments);
    command.environment = options.environment;
    command.endsWithParent = options.endsWithParent;
    command.delivery = options.chunks ? platform::ChildCommand::Delivery::Chunks
                                      : platform::ChildCommand::Delivery::Lines;
    command.grace = options.grace;
    m_child = std::make_unique<platform::ChildProcess>(std::move(command));
    connect(m_child.get(), &platform::ChildProcess::line, this,
            [this](platform::ChildStream stream, const QString &line) {
                if (stream == platform::ChildStream::Output)
                    Q_EMIT standardOutputLine(line);
                else
                    Q_EMIT standardErrorLine(line);
            });
    connect(m_child.get(), &platform::ChildProcess::chunk, this,
            [this](platform::ChildStream stream, const QByteArray &bytes) {
                if (stream == platform::ChildStream::Output)
                    Q_EMIT standardOutputChunk(bytes);
                else
                    Q_EMIT standardErrorChunk(bytes);
            });
    connect(m_child.get(), &platform::ChildProcess::finished, this,
            [this](const platform::ChildResult &result) { Q_EMIT finished(result.shellStatus()); });
    return m_child->start();
}

qint64 StreamedProcess::pid() const {
    return m_child ? m_child->pid() : 0;
}

bool StreamedProcess::isRunning() const {
    return m_child && m_child->isRunning();
}

QString StreamedProcess::errorString() const {
    return m_child ? m_child->result().startError : QString();
}

bool StreamedProcess::endedBySignal() const {
    return m_child && m_child->result().outcome == platform::ChildResult::Outcome::Signalled;
}

void StreamedProcess::terminate() {
    if (m_child)
        m_child->stop();
}

} // namespace quindle
