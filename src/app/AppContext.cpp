#include "app/AppContext.h"

namespace quindle {

AppContext::AppContext()
    : mover(std::make_unique<LocalFolderMover>(moverLog, moverSettings, &volumes))
    , apps(std::make_unique<AppRelocator>(moverLog, &volumes))
    , sleepGuard(std::make_unique<MoveSleepGuard>(*mover, sleepInhibitor)) {
    sleepGuard->watchAlso(apps.get(), &AppRelocator::jobsChanged,
                          [this] { return apps->movingNames(); });
    driveSelection.followVolumes(&volumes);
}

void AppContext::stopBackgroundWork() {
    status.stopPolling();
    notificationDrain.stop();
    meetingMonitor.stop();
    mover->stopForQuit();
    apps->stopForQuit();
}

} // namespace quindle
