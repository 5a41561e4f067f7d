#pragma once

#include "mover/MoveManifest.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "mover/TreeQuickCompare.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QUuid>

#include <atomic>
#include <memory>
#include <optional>

namespace quindle {

class StreamedProcess;
namespace platform {
class VolumeWatcher;
}

// Moves folders (or single files) to the drive and back: copy with rsync, verify, then remove the
// source or replace its files with links. Every step is persisted in the move's manifest, so an
// interrupted move resumes where it stopped, and the source is never touched before its copy has
// been proven.
class LocalFolderMover : public QObject {
    Q_OBJECT
public:
    // Reloads the manifests on disk and resumes what can resume. `volumes` may be null.
    LocalFolderMover(MoverLog &log, MoverSettings &settings, platform::VolumeWatcher *volumes,
                     QObject *parent = nullptr);
    ~LocalFolderMover() override;

    const QList<MoveJob> &jobs() const { return m_jobs; }
    std::optional<MoveJob> job(const QUuid &id) const;
    bool isPaused() const { return m_paused; }
    // Steps running now: rsync processes and background steps together.
    int runningCount() const;

    void enqueue(const QString &src, const QString &dstParent, MoveConflictPolicy conflict,
                 bool symlinkSourceAfter);
    void cancel(const QUuid &id);
    void cancelAll();
    void pause();
    void resume();
    void clearFinished();
    void deleteManifest(const QUuid &id);
    // Nothing when the reverse move was enqueued; otherwise the sentence saying why not.
    std::optional<QString> revert(const MoveManifest &manifest);
    void recoverPendingManifests(const QString &trigger);

    // Stops every child and background step without touching a record, so the moves resume at
    // the next start. The mover does nothing more afterwards.
    void stopForQuit();

    // A run-only level that the settings do not remember (the command line's --verify).
    void setVerificationOverride(std::optional<VerificationLevel> level) {
        m_verificationOverride = level;
    }

    void handleVolumeMounted(const QString &mountPoint);
    void handleVolumeUnmounted(const QString &mountPoint);

Q_SIGNALS:
    void jobsChanged();
    void pausedChanged();

private:
    struct Task {
        quint64 serial = 0;
        std::shared_ptr<std::atomic_bool> cancelled;
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
    void launchRsync(const QUuid &id);
    void onRsyncLine(const QUuid &id, const QString &line, bool standardError);
    void onRsyncExit(const QUuid &id, int status);
    void startVerification(const QUuid &id);
    void startQuickCompare(const QUuid &id);
    void checkStatDifferences(const QUuid &id, const QList<Difference> &differences);
    void startTreeHashes(const QUuid &id);
    void startSizeCheck(const QUuid &id);
    void startCleanup(const QUuid &id);
    void startRemoveCleanup(const QUuid &id);
    void startRelocateCleanup(const QUuid &id);
    bool canResume(const QUuid &id);

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
    std::optional<VerificationLevel> m_verificationOverride;
    QHash<QUuid, StreamedProcess *> m_processes;
    QHash<QUuid, int> m_lastWrittenProgressStep;
    TaskMap m_prepTasks;
    TaskMap m_hashingTasks;
    TaskMap m_verifyTasks;
    TaskMap m_cleanupTasks;
    quint64 m_nextSerial = 1;
};

} // namespace quindle
