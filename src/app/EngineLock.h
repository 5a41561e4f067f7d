#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace quindle {

// The lock that makes one Quindle process at a time the owner of the moves and of updates: the
// application, or one command. Nothing when another live process holds it; a crashed holder's
// lock is taken over.
std::unique_ptr<QLockFile> takeEngineLock();
// Whether a live process holds the lock now; asks without creating anything.
bool engineLockHeld();
// What a command says when it cannot take the lock.
QString engineLockHeldMessage();

} // namespace quindle
