#include "core/BackgroundPool.h"

#include <QThreadPool>

namespace quindle {

namespace {

// The tasks mostly wait on disks and child processes, not on the CPU: up to 16 moves each run a
// step, while drive probes, du and status reads of the other windows run beside them.
constexpr int maxBlockingThreads = 48;
constexpr int idleThreadExpiryMs = 30000;

} // namespace

QThreadPool *blockingPool() {
    static QThreadPool *pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(maxBlockingThreads);
        created->setExpiryTimeout(idleThreadExpiryMs);
        return created;
    }();
    return pool;
}

} // namespace quindle
