#include "app/AppContext.h"

namespace quindle {

AppContext::AppContext()
    : mover(std::make_unique<LocalFolderMover>(moverLog, moverSettings, &volumes))
    , sleepGuard(std::make_unique<MoveSleepGuard>(*mover, sleepLock.newHolder())) {
    driveSelection.followVolumes(&volumes);
    transfers.start();
}

void AppContext::stopBackgroundWork() {
    status.stopPolling();
    notificationDrain.stop();
    meetingMonitor.stop();
    mover->stopForQuit();
}

} // namespace quindle
