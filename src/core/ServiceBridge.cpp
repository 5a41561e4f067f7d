#include "core/ServiceBridge.h"

#include "core/BackgroundPool.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

ProcessOutput ServiceBridge::runProcessBlocking(const QString &launchPath, const QStringList &args,
                                                std::chrono::milliseconds timeout) {
    platform::ChildCommand command(launchPath, args);
    command.channels = platform::ChildCommand::Channels::Combined;
    command.deadline = timeout;
    command.grace = std::chrono::seconds(2);
    const platform::ChildResult result = platform::ChildProcess::run(command);
    if (result.outcome == platform::ChildResult::Outcome::FailedToStart)
        return {-1, QStringLiteral("Launch failed: ") + result.startError};
    return {result.shellStatus(), platform::strictUtf8(result.output)};
}
QFuture<ProcessOutput> ServiceBridge::runProcess(const QString &launchPath, const QStringList &args,
                                                 std::chrono::milliseconds timeout) {
    return QtConcurrent::run(blockingPool(), [launchPath, args, timeout] {
        return runProcessBlocking(launchPath, args, timeout);
    });
}

} // namespace quindle
