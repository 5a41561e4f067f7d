#pragma once

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>

namespace quindle {

// Runs the event loop until `future` is done: the models finish their work on this thread.
template <typename T> void waitFor(const QFuture<T> &future) {
    if (future.isFinished())
        return;
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
}

} // namespace quindle
