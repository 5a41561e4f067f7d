#pragma once

#include "apps/AppRelocator.h"
#include "core/ConfigFileModel.h"
#include "core/LegalAcceptance.h"
#include "core/MeetingMonitor.h"
#include "core/NotificationDrain.h"
#include "core/RecentNotices.h"
#include "core/ServiceLogModel.h"
#include "core/StatusModel.h"
#include "insight/DriveSelection.h"
#include "insight/FstabAuditor.h"
#include "insight/NVMeInspector.h"
#include "mover/LocalFolderMover.h"
#include "mover/MoveSleepGuard.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "platform/DesktopNotifier.h"
#include "platform/SleepInhibitor.h"
#include "platform/VolumeWatcher.h"
#include "tier/PairHistory.h"
#include "tier/PairingModel.h"
#include "tier/RsyncBanner.h"
#include "tier/TierOperations.h"
#include "transfers/RemoteManager.h"
#include "transfers/SyncManager.h"
#include "transfers/TransferSleepGuard.h"
#include "ui/TransferCloudMoves.h"
#include "updates/AutoUpdater.h"
#include "updates/ManifestFetcher.h"
#include "updates/TelemetryClient.h"

#include <memory>

namespace quindle {

// The composition root: the one instance of every engine and model, handed to the views.
struct AppContext {
    AppContext();

    // What quitting and uninstalling both do first: no poll, drain, probe or engine is left
    // to write to ~/.quindle; interrupted moves resume at the next start.
    void stopBackgroundWork();

    platform::MountTableWatcher volumes;
    MoverLog moverLog;
    MoverSettings moverSettings;
    std::unique_ptr<LocalFolderMover> mover;
    std::unique_ptr<AppRelocator> apps;
    platform::LogindSleepInhibitor sleepInhibitor;
    platform::SharedSleepLock sleepLock{sleepInhibitor};
    std::unique_ptr<MoveSleepGuard> sleepGuard;
    SyncManager transfers{&volumes};
    RemoteManager remotes;
    TransferSleepGuard transferSleepGuard{transfers, sleepLock.newHolder()};
    StatusModel status;
    ServiceLogModel serviceLog;
    ConfigFileModel configFile;
    NVMeInspector inspector;
    DriveSelectionModel driveSelection;
    PairHistory pairHistory;
    PairingModel pairing{pairHistory, status};
    TierOperations tierOperations{pairing, *mover};
    ui::TransferCloudMoves cloudMoves{transfers};
    RsyncBanner rsyncBanner;
    FstabAuditor fstab;
    ManifestFetcher manifest;
    AutoUpdater updater;
    TelemetryClient telemetry{manifest};
    LegalAcceptance legal;
    platform::DesktopNotifier notifier;
    RecentNotices recentNotices;
    NotificationDrain notificationDrain{notifier, recentNotices};
    MeetingMonitor meetingMonitor;
};

} // namespace quindle
