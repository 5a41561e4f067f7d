#include "transfers/TransferSleepGuard.h"

#include "platform/SleepInhibitor.h"
#include "transfers/SyncManager.h"

namespace quindle {

TransferSleepGuard::TransferSleepGuard(SyncManager &manager, platform::SleepInhibitor &inhibitor,
                                       QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_inhibitor(inhibitor) {
    connect(&manager, &SyncManager::jobsChanged, this, &TransferSleepGuard::update);
    update();
}

QString TransferSleepGuard::reasonFor(int running) {
    if (running <= 0)
        return {};
    return running == 1 ? QStringLiteral("Quindle is running 1 transfer.")
                        : QStringLiteral("Quindle is running %1 transfers.").arg(running);
}

void TransferSleepGuard::update() {
    const QString reason = reasonFor(m_manager.runningCount());
    if (reason.isEmpty())
        m_inhibitor.release();
    else
        m_inhibitor.acquire(reason);
}

} // namespace quindle
