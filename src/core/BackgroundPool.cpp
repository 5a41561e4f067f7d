#include "core/BackgroundPool.h"

#include <QThreadPool>

namespace quindle {

QThreadPool *blockingPool() {
    static QThreadPool *pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(48);
        created->setExpiryTimeout(30000);
        return created;
    }();
    return pool;
}

} // namespace quindle
