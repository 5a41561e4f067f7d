#include "core/ServiceBridge.h"

#include "core/BackgroundPool.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

namespace {

constexpr int kGraceAfterTerminateMs = 2000;

QString decodeStrictUtf8(const QByteArray &bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

} // namespace

ProcessOutput ServiceBridge::runProcessBlocking(const QString &launchPath, const QStringList &args,
                                                std::chrono::milliseconds timeout) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(launchPath, args);
    if (!process.waitForStarted())
        return {-1, QStringLiteral("Launch failed: ") + process.errorString()};

    // waitForFinished drains the pipe while it waits, so a chatty child never blocks on it.
    QByteArray output;
    bool timedOut = false;
    const QDeadlineTimer deadline(timeout);
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            timedOut = true;
            process.terminate();
            if (!process.waitForFinished(kGraceAfterTerminateMs)) {
                process.kill();
                process.waitForFinished(kGraceAfterTerminateMs);
            }
            break;
        }
        process.waitForFinished(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 200)));
        output += process.readAll();
    }
    output += process.readAll();

    int status = process.exitCode();
    if ((timedOut || process.exitStatus() != QProcess::NormalExit) && status == 0)
        status = -1; // a run that had to be ended never counts as a success
    return {status, decodeStrictUtf8(output)};
}

QFuture<ProcessOutput> ServiceBridge::runProcess(const QString &launchPath, const QStringList &args,
                                                 std::chrono::milliseconds timeout) {
    return QtConcurrent::run(blockingPool(), [launchPath, args, timeout] {
        return runProcessBlocking(launchPath, args, timeout);
    });
}

} // namespace quindle
