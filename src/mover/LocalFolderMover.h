#pragma once

#include "core/BackgroundPool.h"
#include "core/WhenFinished.h"
#include "mover/MoveManifest.h"
#include "mover/MovePreflight.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "mover/TreeQuickCompare.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <memory>
#include <optional>

namespace quindle {

class StreamedProcess;
namespace platform {
class VolumeWatcher;
}

// What became of a move request.
struct EnqueueOutcome {
    enum class Kind {
        Enqueued,     // a job was recorded (it may have failed at once)
        AlreadyThere, // the source already was a link to the destination; no job
        Refused       // nothing was recorded
    };
    Kind kind = Kind::Enqueued;
    QUuid job;       // Enqueued
    QString message; // AlreadyThere: the log line; Refused: the sentence saying why
};

// Moves folders (or single files) to the drive and back: copy with rsync, verify, then remove the
// source or replace its files with links. Every step is persisted in the move's manifest, so an
// interrupted move resumes where it stopped, and the source is never touched before its copy has
// been proven.
class LocalFolderMover : public QObject {
    Q_OBJECT
public:
    // Reloads the manifests on disk and resumes what can resume, on a worker: the jobs appear
    // with `recovered`. `volumes` may be null.
    LocalFolderMover(MoverLog &log, MoverSettings &settings, platform::VolumeWatcher *volumes,
                     QObject *parent = nullptr);
    ~LocalFolderMover() override;

    const QList<MoveJob> &jobs() const { return m_jobs; }
    std::optional<MoveJob> job(const QUuid &id) const;
    bool isPaused() const { return m_paused; }
    // Steps running now: rsync processes and background steps together.
    int runningCount() const;

    EnqueueOutcome enqueue(const QString &src, const QString &dstParent,
                           MoveConflictPolicy conflict, bool symlinkSourceAfter);
    void cancel(const QUuid &id);
    void cancelAll();
    void pause();
    void resume();
    void clearFinished();
    void deleteManifest(const QUuid &id);
    // Nothing when the reverse move was enqueued; otherwise the sentence saying why not.
    std::optional<QString> revert(const MoveManifest &manifest);
    // Reads every manifest and the drive's identity on a worker, then adds the jobs not known yet
    // and resumes the parked ones whose drive is back.
    void recoverPendingManifests();
    // True while a reading of the manifests runs.
    bool isRecovering() const { return m_recoveries > 0; }

    // Stops every child and background step without touching a record, so the moves resume at
    // the next start, and waits for the steps to end. The mover does nothing more afterwards.
    void stopForQuit();

    // The status of a move that found its data already at the destination.
    static QString alreadyThereStatus() {
        return QStringLiteral("Already on the destination; nothing was copied.");
    }

    // A run-only level that the settings do not remember (the command line's --verify).
    void setVerificationOverride(std::optional<VerificationLevel> level) {
        m_verificationOverride = level;
    }

    void handleVolumeMounted(const QString &mountPoint);
    void handleVolumeUnmounted(const QString &mountPoint);

Q_SIGNALS:
    void jobsChanged();
    void pausedChanged();
    // A reading of the manifests was applied.
    void recovered();

private:
    struct Task {
        quint64 serial = 0;
        std::shared_ptr<std::atomic_bool> cancelled;
        bool survivesParking = false; // a running removal cannot be called back
    };
    using TaskMap = QHash<QUuid, Task>;

    MoveJob *find(const QUuid &id);
    void schedulingPass();
    bool startNext();
    void updatePhase(const QUuid &id, MovePhase to,
                     const std::optional<QString> &error = std::nullopt,
                     const std::optional<QString> &status = std::nullopt);
    void updateStatus(const QUuid &id, const QString &text);
    void persist(MoveJob &job);
    void log(MoverLogLine::Source source, const QString &text, const QUuid &id);

    void startCopy(const QUuid &id);
    void removeDestinationThenCopy(const QUuid &id);
    void launchRsync(const QUuid &id, bool ignoreTimes);
    void onRsyncLine(const QUuid &id, const QString &line, bool standardError);
    void onRsyncExit(const QUuid &id, StreamedProcess *process, int status);
    void stopCopy(const QUuid &id);
    void startVerification(const QUuid &id);
    void startQuickCompare(const QUuid &id);
    void checkStatDifferences(const QUuid &id, const QList<Difference> &differences);
    void compareEveryFile(const QUuid &id);
    void reportContentCheck(const QUuid &id, const QStringList &mismatched,
                            const QString &passedStatus);
    void startTreeHashes(const QUuid &id);
    void startSizeCheck(const QUuid &id);
    void startCleanup(const QUuid &id);
    void startRemoveCleanup(const QUuid &id);
    void startRelocateCleanup(const QUuid &id);
    // Finds the job still in `phase` for a result of the step behind `map`; nothing when the
    // result is stale (the job moved on, was cancelled or is gone).
    MoveJob *currentFor(TaskMap &map, const QUuid &id, quint64 serial, MovePhase phase);
    void park(const QUuid &id, const QString &error);
    bool refusedCleanup(const QUuid &id, const Preflight &check);
    struct Recovery;
    void applyRecovery(const Recovery &recovery);
    bool canResume(const QUuid &id, const Recovery &recovery);

    // Runs blocking work on the pool and hands its result to `then` here. The work is
    // remembered, so the mover never dies before it.
    template <typename Work, typename Then> void runOnWorker(Work &&work, Then &&then) {
        auto future = QtConcurrent::run(blockingPool(), std::forward<Work>(work));
        m_workers.removeIf([](const QFuture<void> &running) { return running.isFinished(); });
        m_workers.append(QFuture<void>(future));
        whenFinished(future, this, std::forward<Then>(then));
    }

    Task beginTask(TaskMap &map, const QUuid &id);
    // True when the finished task is still the one on record; removes it.
    bool finishTask(TaskMap &map, const QUuid &id, quint64 serial);
    void forgetTask(TaskMap &map, const QUuid &id);
    VerificationLevel verificationLevel() const;

    MoverLog &m_log;
    MoverSettings &m_settings;
    QList<MoveJob> m_jobs;
    bool m_paused = false;
    bool m_stopped = false;
    bool m_inPass = false;
    int m_recoveries = 0; // readings of the manifests still running
    std::optional<VerificationLevel> m_verificationOverride;
    QHash<QUuid, StreamedProcess *> m_processes;
    QSet<StreamedProcess *> m_stoppedCopies; // terminated, their exit still to come
    QHash<QUuid, int> m_lastWrittenProgressStep;
    TaskMap m_prepTasks;
    TaskMap m_hashingTasks;
    TaskMap m_verifyTasks;
    TaskMap m_cleanupTasks;
    quint64 m_nextSerial = 1;
    QList<QFuture<void>> m_workers;
};

} // namespace quindle
