#pragma once

#include "apps/AppRelocator.h"
#include "core/ConfigFileModel.h"
#include "core/LegalAcceptance.h"
#include "core/MeetingMonitor.h"
#include "core/NotificationDrain.h"
#include "core/RecentNotices.h"
#include "core/ServiceLogModel.h"
#include "core/StatusModel.h"
#include "insight/BackupStore.h"
#include "insight/CloudFolders.h"
#include "insight/DriveSelection.h"
#include "insight/FreeSpaceResult.h"
#include "insight/FstabAuditor.h"
#include "insight/HistoryStore.h"
#include "insight/NVMeInspector.h"
#include "insight/ServiceRun.h"
#include "insight/StorageScan.h"
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

    // Whether a move, app move, transfer or long service run is under way: a restore waits.
    bool jobsRunning() const;

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
    // Storage insight: the inspector's scan and move, Free Up Space, the cloud folders, the
    // history the charts draw and the backups.
    StorageScan storageScan;
    ServiceRun folderMove{ServiceRun::folderMove()};
    ServiceRun freeSpace{ServiceRun::freeSpace()};
    FreeSpaceResult freeSpaceResult;
    ServiceRun cloudOptimisation{ServiceRun::cloudOptimisation()};
    CloudRoots cloudRoots;
    CloudUsageProbe cloudUsage;
    HistoryStore history;
    // The lock a restore moves away with the old state folder is taken again in the new one.
    std::function<void()> retakeEngineLock;
    BackupStore backups{[this] { return jobsRunning(); },
                        [this] {
                            if (retakeEngineLock)
                                retakeEngineLock();
                        }};
};

} // namespace quindle
