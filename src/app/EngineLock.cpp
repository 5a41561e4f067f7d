#include "app/EngineLock.h"

#include "core/StatePaths.h"

#include <QDir>
#include <QFileInfo>

namespace quindle {

std::unique_ptr<QLockFile> takeEngineLock() {
    QDir().mkpath(paths::stateDirectory());
    auto lock = std::make_unique<QLockFile>(paths::engineLockFile());
    lock->setStaleLockTime(0); // only a live holder counts
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

bool engineLockHeld() {
    if (!QFileInfo::exists(paths::engineLockFile()))
        return false;
    QLockFile lock(paths::engineLockFile());
    lock.setStaleLockTime(0);
    return !lock.tryLock(0);
}

QString engineLockHeldMessage() {
    return QStringLiteral("Quindle is already running and owns the moves; quit it (or wait for "
                          "the other command) and try again.");
}

} // namespace quindle
