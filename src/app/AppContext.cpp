#include "app/AppContext.h"

#include "transfers/Endpoint.h"

#include <algorithm>

namespace quindle {

AppContext::AppContext()
    : mover(std::make_unique<LocalFolderMover>(moverLog, moverSettings, &volumes))
    , apps(std::make_unique<AppRelocator>(moverLog, &volumes))
    , sleepGuard(std::make_unique<MoveSleepGuard>(*mover, sleepLock.newHolder())) {
    sleepGuard->watchAlso(apps.get(), &AppRelocator::jobsChanged,
                          [this] { return apps->movingNames(); });
    driveSelection.followVolumes(&volumes);
    transfers.start();
    QObject::connect(&remotes, &RemoteManager::remotesChanged, &transfers,
                     [this] { transfers.setRemoteTypes(remotes.remoteTypes()); });
    remotes.refresh();
    tierOperations.setCloudMoves(&cloudMoves);
    QObject::connect(&transfers, &SyncManager::jobEnded, &telemetry, [this](const QUuid &id) {
        const std::optional<SyncJob> job = transfers.job(id);
        if (!job || !(job->state == JobState::Completed || job->state == JobState::Failed ||
                      job->state == JobState::Canceled))
            return;
        // Only the kind of account may leave, never its name or a path.
        const QString accountType =
            transferAccountType(job->source, job->destination, transfers.remoteTypes());
        if (accountType.isEmpty())
            return;
        telemetry.sendEvent(QStringLiteral("transfer_finished"),
                            {{QStringLiteral("mode"), rawValue(job->mode)},
                             {QStringLiteral("state"), rawValue(job->state)},
                             {QStringLiteral("remote_type"), accountType}});
    });
    QObject::connect(&freeSpace, &ServiceRun::finished, &freeSpaceResult, &FreeSpaceResult::reload);
    freeSpaceResult.reload();
}

bool AppContext::jobsRunning() const {
    const auto moving = [](const MoveJob &job) { return !isTerminal(job.manifest.phase); };
    const auto transferring = [](const SyncJob &job) {
        return job.state == JobState::Preparing || job.state == JobState::Running;
    };
    return std::any_of(mover->jobs().cbegin(), mover->jobs().cend(), moving) ||
           apps->hasUnfinishedJobs() ||
           std::any_of(transfers.jobs().cbegin(), transfers.jobs().cend(), transferring) ||
           folderMove.isRunning() || freeSpace.isRunning() || cloudOptimisation.isRunning();
}

void AppContext::stopBackgroundWork() {
    status.stopPolling();
    notificationDrain.stop();
    meetingMonitor.stop();
    mover->stopForQuit();
    transfers.stopForQuit();
    apps->stopForQuit();
    // No du is left walking the home folder; the service's own runs finish or are stopped with
    // their process groups as their owners go.
    storageScan.cancel();
}

} // namespace quindle
