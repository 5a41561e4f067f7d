#pragma once

#include <QFuture>
#include <QString>
#include <QStringList>

#include <chrono>

namespace quindle {

struct ProcessOutput {
    int status = -1;
    QString output; // standard output and standard error in the order they reached the pipe
};

// Bounded runs of the service's scripts and of the service manager.
class ServiceBridge {
public:
    // Runs off the calling thread; the program is ended when `timeout` passes and the result then
    // holds its non-zero status and whatever it printed so far. A program that cannot start gives
    // status -1 and "Launch failed: " + the reason.
    static QFuture<ProcessOutput> runProcess(const QString &launchPath, const QStringList &args,
                                             std::chrono::milliseconds timeout);

    // The same, blocking the calling thread. Never call it on the main thread.
    static ProcessOutput runProcessBlocking(const QString &launchPath, const QStringList &args,
                                            std::chrono::milliseconds timeout);
};

} // namespace quindle
