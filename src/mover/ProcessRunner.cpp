#include "mover/ProcessRunner.h"

#include "platform/ProgramLocations.h"

#include <QStringDecoder>

namespace quindle {

int runProcessAsync(const QString &executablePath, const QStringList &arguments) {
    QProcess process;
    // Discarded rather than piped: an unread pipe would stall a child that prints a lot.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(executablePath, arguments);
    if (!process.waitForStarted())
        return -1;
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit)
        return process.exitCode() != 0 ? process.exitCode() : -1;
    return process.exitCode();
}

std::optional<qint64> duKBAsync(const QString &path) {
    QProcess du;
    du.setStandardInputFile(QProcess::nullDevice());
    du.start(platform::duExecutable(), {QStringLiteral("-sk"), path});
    if (!du.waitForStarted())
        return std::nullopt;
    du.waitForFinished(-1);
    if (du.exitStatus() != QProcess::NormalExit || du.exitCode() != 0)
        return std::nullopt;
    const QString output = QString::fromUtf8(du.readAllStandardOutput());
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

namespace {

void appendDecoded(QStringList &lines, const QByteArray &bytes) {
    if (bytes.isEmpty())
        return;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString line = decoder.decode(bytes);
    if (!decoder.hasError())
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
        appendDecoded(lines, m_pending.mid(start, i - start));
        start = i + 1;
    }
    m_pending.remove(0, start);
    return lines;
}

QStringList LineSplitter::finish() {
    QStringList lines;
    appendDecoded(lines, m_pending);
    m_pending.clear();
    return lines;
}

StreamedProcess::StreamedProcess(QObject *parent)
    : QObject(parent) {
    m_process.setStandardInputFile(QProcess::nullDevice());
    connect(&m_process, &QProcess::readyReadStandardOutput, this,
            [this] { drain(QProcess::StandardOutput, m_out, false); });
    connect(&m_process, &QProcess::readyReadStandardError, this,
            [this] { drain(QProcess::StandardError, m_err, false); });
    connect(&m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                drain(QProcess::StandardOutput, m_out, true);
                drain(QProcess::StandardError, m_err, true);
                const bool crashed = status != QProcess::NormalExit;
                Q_EMIT finished(crashed && exitCode == 0 ? -1 : exitCode);
            });
}

StreamedProcess::~StreamedProcess() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.disconnect(this);
    // rsync removes its partial file and tells its helper processes to stop on SIGTERM.
    m_process.terminate();
    if (m_process.waitForFinished(stopGraceMs))
        return;
    m_process.kill();
    m_process.waitForFinished(stopGraceMs);
}

bool StreamedProcess::start(const QString &executablePath, const QStringList &arguments) {
    m_process.start(executablePath, arguments);
    return m_process.waitForStarted();
}

void StreamedProcess::terminate() {
    m_process.terminate();
}

void StreamedProcess::drain(QProcess::ProcessChannel channel, LineSplitter &splitter, bool atEnd) {
    m_process.setReadChannel(channel);
    QStringList lines = splitter.feed(m_process.readAll());
    if (atEnd)
        lines += splitter.finish();
    for (const QString &line : std::as_const(lines)) {
        if (channel == QProcess::StandardOutput)
            Q_EMIT standardOutputLine(line);
        else
            Q_EMIT standardErrorLine(line);
    }
}

} // namespace quindle
