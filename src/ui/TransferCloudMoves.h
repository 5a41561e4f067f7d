#pragma once

#include "tier/CloudMoves.h"

#include <QHash>

namespace quindle {
class SyncManager;
}

namespace quindle::ui {

// The Tier window's cloud moves as transfer jobs: mode move, listed in Transfers like any other.
class TransferCloudMoves : public CloudMoves {
    Q_OBJECT
public:
    explicit TransferCloudMoves(SyncManager &transfers, QObject *parent = nullptr);

    bool rcloneInstalled() const override;
    std::optional<QUuid> enqueueMove(const QString &source, const QString &destination,
                                     int transfers) override;

private:
    void onJobsChanged();
    void onJobEnded(const QUuid &id);

    SyncManager &m_transfers;
    QHash<QUuid, int> m_landed; // files transferred so far, by job
};

} // namespace quindle::ui
