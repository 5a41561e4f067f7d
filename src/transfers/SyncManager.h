#pragma once

#include "transfers/RcloneClient.h"
#include "transfers/TransferJob.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimeZone>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <optional>

namespace quindle {

namespace platform {
class VolumeWatcher;
}

// The one owner of the transfers: keeps the list (newest first) in jobs.json, runs at most two
// rclone processes at a time, holds back jobs whose local endpoint is on an absent drive, and
// spawns the runs of scheduled jobs. Lives on the main thread.
class SyncManager : public QObject {
    Q_OBJECT
public:
    static constexpr int maxConcurrent = 2;
    static constexpr int maxLogLines = 500;
    static constexpr int schedulerIntervalMs = 60 * 1000;

    // Loads the list: a run found running or preparing is queued again, its pair marked
    // interrupted. A damaged file is kept aside before anything overwrites it. `volumes` may be
    // null (no mount notifications).
    explicit SyncManager(platform::VolumeWatcher *volumes, QObject *parent = nullptr);
    ~SyncManager() override; // stops the runs as quitting does

    // For tests: the time and zone the scheduler and the records use. Call before start().
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    void setTimeZone(const QTimeZone &zone) { m_zone = zone; }

    // Probes rclone, re-tests the waiting jobs, runs a scheduler pass and starts the timer. The
    // dispatcher holds its first start until the probe has answered.
    void start();
    // Ends every rclone run as quitting does (each resumes at the next start) and schedules
    // nothing more.
    void stopForQuit();

    const QList<SyncJob> &jobs() const { return m_jobs; }
    std::optional<SyncJob> job(const QUuid &id) const;
    bool rcloneInstalled() const { return m_rcloneInstalled; }
    const std::optional<QString> &rcloneVersion() const { return m_rcloneVersion; }
    bool rcloneProbed() const { return m_probed; }
    const QHash<QString, QString> &remoteTypes() const { return m_remoteTypes; }
    // The accounts as the remote manager last read them; an account added since the last probe
    // is then usable at once.
    void setRemoteTypes(const QHash<QString, QString> &types) { m_remoteTypes = types; }
    // The sentence about a damaged jobs file, kept until the next start; empty otherwise.
    const QString &notice() const { return m_notice; }

    int runningCount() const;
    bool hasJobsAwaitingDrive() const;
    bool hasFinishedJobs() const;

    // Adds a job; false when an active job with the same endpoints and mode drops it.
    bool enqueue(SyncJob job);
    void cancel(const QUuid &id);
    void pause(const QUuid &id); // not for two-way syncs: they have no safe point to stop at
    void resume(const QUuid &id);
    // A finished job's settings as a new job; its id, or nothing when dropped or not finished.
    std::optional<QUuid> retry(const QUuid &id);
    bool remove(const QUuid &id); // finished jobs only
    void cancelAllWaiting();
    void clearFinished();
    void resumeJobsAwaitingDrive();
    void refreshRcloneStatus();
    void tickScheduler();
    // Application exit: runs stopped, their jobs queued for the next start.
    void terminateAllInFlight();

    // The drive the status file names, and whether transfers may use it now.
    static QString drivePath();
    static bool driveAvailable();
    static bool needsDrive(const SyncJob &job);

    static QString abandonPendingHelp();
    static QString clearCompletedHelp();
    static QString checkDriveHelp();

Q_SIGNALS:
    void jobsChanged();
    void rcloneStatusChanged();
    void jobStarted(const QUuid &id);
    void jobEnded(const QUuid &id); // completed, failed, canceled, paused or parked

private:
    enum class StopReason { None, Cancel, Pause, ParkForDrive };

    SyncJob *find(const QUuid &id);
    void changed(); // save and announce
    void scheduleNext();
    void startJob(SyncJob &job);
    void finishJob(const QUuid &id, int status, bool bySignal);
    void failJob(SyncJob &job, const QString &message);
    void appendLog(const QUuid &id, const QString &line);
    void stopRun(const QUuid &id, StopReason reason);
    void onVolumeUnmounted(const QString &mountPoint);

    QList<SyncJob> m_jobs;
    QHash<QUuid, RcloneRun *> m_runs;
    QHash<QUuid, StopReason> m_stopping;
    QString m_rclonePath;
    bool m_rcloneInstalled = false;
    std::optional<QString> m_rcloneVersion;
    RcloneFeatures m_features;
    QHash<QString, QString> m_remoteTypes;
    bool m_probed = false;
    bool m_started = false;
    QString m_notice;
    QTimer m_scheduleTimer;
    std::function<QDateTime()> m_clock;
    QTimeZone m_zone;
};

} // namespace quindle
