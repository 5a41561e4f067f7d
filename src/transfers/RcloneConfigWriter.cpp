#include "transfers/RcloneConfigWriter.h"

#include "core/BackgroundPool.h"
#include "platform/ChildProcess.h"
#include "transfers/RcloneClient.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quindle::RcloneConfigWriter {

QStringList createArguments(const QString &name, const QString &type,
                            const QList<RcloneOption> &options) {
    QStringList arguments{QStringLiteral("config"), QStringLiteral("create"), name, type};
    for (const RcloneOption &option : options)
        arguments << option.first << option.second;
    return arguments << QStringLiteral("--non-interactive") << QStringLiteral("--obscure");
}

RcloneWriteResult runBlocking(const QString &rclone, const QStringList &arguments) {
    platform::ChildCommand command(rclone, arguments);
    command.environment.insert(QStringLiteral("RCLONE_ASK_PASSWORD"), QStringLiteral("false"));
    command.deadline = std::chrono::seconds(60);
    const platform::ChildResult result = platform::ChildProcess::run(command);
    if (result.outcome == platform::ChildResult::Outcome::FailedToStart)
        return {false, QStringLiteral("Failed to launch rclone: ") + result.startError};
    QStringList texts;
    for (const QByteArray &bytes : {result.output, result.error})
        if (const QString text = QString::fromUtf8(bytes).trimmed(); !text.isEmpty())
            texts << text;
    return {result.succeeded(), texts.join(QLatin1Char('\n'))};
}

RcloneWriteResult createBlocking(const QString &name, const QString &type,
                                 const QList<RcloneOption> &options) {
    const QString rclone = RcloneClient::locate();
    if (rclone.isEmpty())
        return {false, RcloneClient::notInstalledText()};
    return runBlocking(rclone, createArguments(name, type, options));
}

QFuture<RcloneWriteResult> create(const QString &name, const QString &type,
                                  const QList<RcloneOption> &options) {
    return QtConcurrent::run(blockingPool(), [=] { return createBlocking(name, type, options); });
}

} // namespace quindle::RcloneConfigWriter
