#include "platform/ChildProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

namespace quindle::platform {

namespace {

QString errnoText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

struct Resolved {
    QString path;
    QString error;
};

// The file exec would run, or why it would refuse. Found before forking, so that the
// asynchronous start can say at once that a program is missing.
Resolved resolve(const ChildCommand &command) {
    const QString &program = command.program;
    QString path;
    if (program.contains(QLatin1Char('/'))) {
        path = command.workingDirectory.isEmpty()
                   ? QFileInfo(program).absoluteFilePath()
                   : QDir(command.workingDirectory).absoluteFilePath(program);
    } else if (!program.isEmpty()) {
        const QString searchPath =
            command.environment.value(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        const QStringList folders = searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts);
        if (!folders.isEmpty())
            path = QStandardPaths::findExecutable(program, folders);
    }
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return {{}, errnoText(ENOENT)};
    if (!info.isFile() || ::access(QFile::encodeName(path).constData(), X_OK) != 0)
        return {{}, errnoText(EACCES)};
    return {path, {}};
}

void configure(QProcess &process, const ChildCommand &command, const QString &path) {
    process.setProgram(path);
    process.setArguments(command.arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!command.environment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (auto it = command.environment.cbegin(); it != command.environment.cend(); ++it)
            environment.insert(it.key(), it.value());
        process.setProcessEnvironment(environment);
    }
    if (!command.workingDirectory.isEmpty())
        process.setWorkingDirectory(command.workingDirectory);
    switch (command.channels) {
    case ChildCommand::Channels::Separate:
        process.setProcessChannelMode(QProcess::SeparateChannels);
        break;
    case ChildCommand::Channels::Combined:
        process.setProcessChannelMode(QProcess::MergedChannels);
        break;
    case ChildCommand::Channels::Discarded:
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        break;
    }
}

} // namespace

int ChildResult::shellStatus() const {
    switch (outcome) {
    case Outcome::Exited:
        return exitCode;
    case Outcome::Signalled:
        return 128 + signalNumber;
    case Outcome::FailedToStart:
        return -1;
    case Outcome::DeadlineHit:
        break;
    }
    const int status = signalNumber != 0 ? 128 + signalNumber : exitCode;
    return status == 0 ? -1 : status;
}

QString strictUtf8(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

namespace {

void appendLine(QStringList &lines, const QByteArray &bytes) {
    if (bytes.isEmpty())
        return;
    const QString line = strictUtf8(bytes);
    if (!line.isEmpty())
        lines << line;
}

} // namespace

QStringList LineSplitter::feed(const QByteArray &chunk) {
    m_pending += chunk;
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        const char c = m_pending.at(i);
        if (c != '\n' && c != '\r')
            continue;
        appendLine(lines, m_pending.mid(start, i - start));
        start = i + 1;
    }
    m_pending.remove(0, start);
    return lines;
}

QStringList LineSplitter::finish() {
    QStringList lines;
    appendLine(lines, m_pending);
    m_pending.clear();
    return lines;
}

ChildProcess::ChildProcess(ChildCommand command, QObject *parent)
    : QObject(parent)
    , m_command(std::move(command)) {
    m_deadline.setSingleShot(true);
    m_grace.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_deadlineHit = true;
        stop();
    });
    connect(&m_grace, &QTimer::timeout, this, [this] { signalGroup(SIGKILL); });
}

ChildProcess::~ChildProcess() {
    if (!isRunning())
        return;
    m_process->disconnect(this);
    const int graceMs = static_cast<int>(m_command.grace.count());
    sendTerm();
    if (!m_process->waitForFinished(graceMs)) {
        signalGroup(SIGKILL);
        m_process->waitForFinished(graceMs);
    } else {
        signalGroup(SIGKILL); // what the leader left behind in its group
    }
}

bool ChildProcess::start() {
    return begin(true);
}

bool ChildProcess::begin(bool armDeadline) {
    if (m_process || m_done)
        return false;
    const Resolved resolved = resolve(m_command);
    if (resolved.path.isEmpty()) {
        m_result.startError = resolved.error;
        m_done = true;
        return false;
    }
    m_process = std::make_unique<QProcess>();
    configure(*m_process, m_command, resolved.path);
    m_process->setChildProcessModifier([endsWithParent = m_command.endsWithParent] {
        ::setpgid(0, 0);
        if (endsWithParent)
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this,
            [this] { read(ChildStream::Output, false); });
    connect(m_process.get(), &QProcess::readyReadStandardError, this,
            [this] { read(ChildStream::Error, false); });
    connect(m_process.get(), &QProcess::finished, this,
            [this](int code, QProcess::ExitStatus status) {
                conclude(code, status == QProcess::CrashExit);
            });
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            failToStart(m_process->errorString());
    });
    m_process->start();
    m_pid = m_process->processId();
    // The child makes itself a group leader before exec; doing it here as well closes the
    // window in which a stop would reach only the child.
    if (m_pid > 0)
        ::setpgid(static_cast<pid_t>(m_pid), static_cast<pid_t>(m_pid));
    if (armDeadline && m_command.deadline)
        m_deadline.start(*m_command.deadline);
    return true;
}

void ChildProcess::stop() {
    if (!isRunning() || m_grace.isActive())
        return;
    sendTerm();
    m_grace.start(m_command.grace);
}

bool ChildProcess::isRunning() const {
    return m_process && m_process->state() != QProcess::NotRunning;
}

void ChildProcess::sendTerm() {
    m_stopping = true;
    signalGroup(SIGTERM);
}

void ChildProcess::signalGroup(int signalNumber) {
    if (m_pid <= 0)
        return;
    if (::kill(-static_cast<pid_t>(m_pid), signalNumber) != 0 && isRunning())
        ::kill(static_cast<pid_t>(m_pid), signalNumber);
}

void ChildProcess::read(ChildStream stream, bool atEnd) {
    // Merged channels have no standard error to read (Qt crashes reading it).
    if (m_command.channels == ChildCommand::Channels::Discarded ||
        (stream == ChildStream::Error && m_command.channels == ChildCommand::Channels::Combined))
        return;
    m_process->setReadChannel(stream == ChildStream::Output ? QProcess::StandardOutput
                                                            : QProcess::StandardError);
    const QByteArray bytes = m_process->readAll();
    switch (m_command.delivery) {
    case ChildCommand::Delivery::Collect:
        (stream == ChildStream::Output ? m_result.output : m_result.error) += bytes;
        break;
    case ChildCommand::Delivery::Chunks:
        if (!bytes.isEmpty())
            Q_EMIT chunk(stream, bytes);
        break;
    case ChildCommand::Delivery::Lines: {
        LineSplitter &splitter = stream == ChildStream::Output ? m_outLines : m_errLines;
        QStringList lines = splitter.feed(bytes);
        if (atEnd)
            lines += splitter.finish();
        for (const QString &text : std::as_const(lines))
            Q_EMIT line(stream, text);
        break;
    }
    }
}

void ChildProcess::conclude(int exitCode, bool bySignal) {
    if (m_done)
        return;
    read(ChildStream::Output, true);
    read(ChildStream::Error, true);
    m_deadline.stop();
    m_grace.stop();
    if (m_stopping)
        signalGroup(SIGKILL); // what the leader left behind in its group
    m_done = true;
    using Outcome = ChildResult::Outcome;
    m_result.outcome = m_deadlineHit ? Outcome::DeadlineHit
                       : bySignal    ? Outcome::Signalled
                                     : Outcome::Exited;
    // A child ended by a signal reports the signal's number as its code.
    m_result.exitCode = bySignal ? -1 : exitCode;
    m_result.signalNumber = bySignal ? exitCode : 0;
    Q_EMIT finished(m_result);
}

void ChildProcess::failToStart(const QString &reason) {
    if (m_done)
        return;
    m_deadline.stop();
    m_done = true;
    m_result.outcome = ChildResult::Outcome::FailedToStart;
    m_result.startError = reason;
    Q_EMIT finished(m_result);
}

void ChildProcess::waitBlocking() {
    QDeadlineTimer limit = m_command.deadline ? QDeadlineTimer(*m_command.deadline)
                                              : QDeadlineTimer(QDeadlineTimer::Forever);
    bool killed = false;
    while (!m_done && isRunning()) {
        if (!killed && limit.hasExpired()) {
            if (m_stopping) {
                signalGroup(SIGKILL);
                killed = true;
                limit = QDeadlineTimer(QDeadlineTimer::Forever);
            } else {
                m_deadlineHit = true;
                sendTerm();
                limit = QDeadlineTimer(m_command.grace);
            }
        }
        // Reads the pipes while it waits, so a chatty child never blocks on them.
        m_process->waitForFinished(
            limit.isForever() ? -1 : static_cast<int>(std::max<qint64>(limit.remainingTime(), 1)));
    }
}

ChildResult ChildProcess::run(const ChildCommand &command) {
    ChildProcess child(command);
    if (child.begin(false))
        child.waitBlocking();
    return child.result();
}

std::optional<QString> startDetached(const ChildCommand &command) {
    const Resolved resolved = resolve(command);
    if (resolved.path.isEmpty())
        return resolved.error;
    QProcess starter;
    ChildCommand detached = command;
    detached.channels = ChildCommand::Channels::Discarded;
    configure(starter, detached, resolved.path);
    if (!starter.startDetached())
        return starter.errorString();
    return std::nullopt;
}

} // namespace quindle::platform
