#include "ui/TransferCloudMoves.h"

#include "transfers/SyncManager.h"

namespace quindle::ui {

TransferCloudMoves::TransferCloudMoves(SyncManager &transfers, QObject *parent)
    : CloudMoves(parent)
    , m_transfers(transfers) {
    connect(&m_transfers, &SyncManager::jobsChanged, this, &TransferCloudMoves::onJobsChanged);
    connect(&m_transfers, &SyncManager::jobEnded, this, &TransferCloudMoves::onJobEnded);
}

bool TransferCloudMoves::rcloneInstalled() const {
    return m_transfers.rcloneInstalled();
}

std::optional<QUuid> TransferCloudMoves::enqueueMove(const QString &source,
                                                     const QString &destination, int transfers) {
    SyncJob job(JobMode::Move, source, destination);
    job.transfers = transfers;
    const QUuid id = job.id;
    if (!m_transfers.enqueue(std::move(job)))
        return std::nullopt;
    m_landed.insert(id, 0);
    return id;
}

void TransferCloudMoves::onJobsChanged() {
    for (auto it = m_landed.begin(); it != m_landed.end(); ++it) {
        const std::optional<SyncJob> job = m_transfers.job(it.key());
        if (!job || job->progress.filesTransferred <= it.value())
            continue;
        it.value() = job->progress.filesTransferred;
        Q_EMIT filesLanded(it.key());
    }
    // A job removed from the list before it ended leaves no other trace.
    for (auto it = m_landed.begin(); it != m_landed.end();) {
        if (m_transfers.job(it.key())) {
            ++it;
            continue;
        }
        const QUuid id = it.key();
        it = m_landed.erase(it);
        Q_EMIT ended(id, End::Vanished);
    }
}

void TransferCloudMoves::onJobEnded(const QUuid &id) {
    const std::optional<SyncJob> job = m_transfers.job(id);
    if (!m_landed.contains(id) || !job)
        return;
    // Paused and parked runs come back; only these three are the end.
    if (job->state != JobState::Completed && job->state != JobState::Failed &&
        job->state != JobState::Canceled)
        return;
    m_landed.remove(id);
    Q_EMIT ended(id, job->state == JobState::Completed ? End::Completed : End::Failed);
}

} // namespace quindle::ui
