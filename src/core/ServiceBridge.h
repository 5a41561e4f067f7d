#pragma once

#include "platform/ChildProcess.h"

#include <QFuture>
#include <QString>
#include <QStringList>

#include <chrono>

namespace quindle {

using ProcessOutput = platform::CommandResult;

// Bounded runs of the service's scripts and of the service manager.
class ServiceBridge {
public:
    // Runs off the calling thread; the program is ended when `timeout` passes and the result then
    // holds its non-zero status and whatever it printed so far. A program that cannot start gives
    // status -1 and "Launch failed: " + the reason.
    static QFuture<ProcessOutput> runProcess(const QString &launchPath, const QStringList &args,
                                             std::chrono::milliseconds timeout);

    // The same, blocking the calling thread. Never call it on the main thread. It is a
    // platform::CommandRunner.
    static ProcessOutput runProcessBlocking(const QString &launchPath, const QStringList &args,
                                            std::chrono::milliseconds timeout);
};

} // namespace quindle
