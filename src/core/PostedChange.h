#pragma once

#include <QMetaObject>

namespace quindle {

// Applies `change` to `owner` on the owner's thread, from its event loop, then announces it with
// changed(): how a run on a worker publishes its progress through a main-thread model.
template <typename Owner, typename Change> void postChange(Owner *owner, Change change) {
    QMetaObject::invokeMethod(
        owner,
        [owner, change] {
            change(*owner);
            Q_EMIT owner->changed();
        },
        Qt::QueuedConnection);
}

} // namespace quindle
