#pragma once

#include "apps/AppRelocator.h"
#include "mover/LocalFolderMover.h"
#include "mover/MoveSleepGuard.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "platform/SleepInhibitor.h"
#include "platform/VolumeWatcher.h"
#include "transfers/SyncManager.h"
#include "transfers/TransferSleepGuard.h"

#include <QLockFile>
#include <QString>
#include <QTextStream>

#include <functional>
#include <memory>
#include <optional>

namespace quindle {

// The engines for one command-line run, owned by this process alone: it holds the engine lock
// so that no other Quindle resumes the same moves at the same time.
class EngineSession {
public:
    // Nothing, with the reason printed, when another process holds the engines.
    static std::unique_ptr<EngineSession> open(QTextStream &err);

    MoverLog log;
    MoverSettings settings;
    platform::MountTableWatcher volumes;
    std::unique_ptr<LocalFolderMover> mover;
    std::unique_ptr<AppRelocator> apps;
    platform::LogindSleepInhibitor sleepInhibitor;
    platform::SharedSleepLock sleepLock{sleepInhibitor};
    std::unique_ptr<MoveSleepGuard> sleepGuard;
    // Loaded, not started: only `quindle transfers run` starts rclone.
    std::unique_ptr<SyncManager> transfers;
    std::unique_ptr<TransferSleepGuard> transferSleepGuard;

    // Prints these jobs' log lines and progress as they come, and returns when every job in `ids`
    // is done, cancelled, failed or waiting for its drive: 0. A SIGINT or SIGTERM stops the moves
    // as quitting does (children ended, records left to resume) and returns the exit status it
    // calls for (130 or 143), after saying so on `err`.
    int runUntilSettled(const QList<QUuid> &ids, QTextStream &out, QTextStream &err);
    // The same for app moves.
    int runAppsUntilSettled(const QList<QUuid> &ids, QTextStream &out, QTextStream &err);

private:
    // Prints the jobs' log lines, and `progress` at every change, until `settled` holds or a
    // signal stops both engines.
    int printUntil(const QList<QUuid> &ids, const std::function<bool()> &settled,
                   const std::function<void()> &progress, QTextStream &out, QTextStream &err);

    explicit EngineSession(std::unique_ptr<QLockFile> lock);
    std::unique_ptr<QLockFile> m_lock;
};

// "<ID>  <phase>  <src> → <finalDst>[  <error>]"
QString describeJob(const MoveJob &job);
// "<ID>  <phase>  <copy source> → <copy destination>[  <error>]"
QString describeAppJob(const AppMoveJob &job);

} // namespace quindle
