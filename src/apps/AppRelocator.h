#pragma once

#include "apps/AppEntry.h"
#include "apps/AppLinkStep.h"
#include "apps/AppMoveManifest.h"
#include "core/BackgroundPool.h"
#include "core/WhenFinished.h"
#include "mover/MoverLog.h"

#include <QDateTime>
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
#include <variant>

namespace quindle {

class StreamedProcess;
namespace platform {
class VolumeWatcher;
}

// An app move in the queue.
struct AppMoveJob {
    AppMoveManifest manifest;
    AppMoveDirection direction = AppMoveDirection::ToNVMe;

    QUuid id() const { return manifest.id; }
    bool operator==(const AppMoveJob &) const = default;
};

// One line of live activity per app.
struct AppOp {
    QString id; // the app's key
    QString label;
    QDateTime startedAt;
    bool operator==(const AppOp &) const = default;
};

// Moves app folders to <NVMe>/Apps and leaves a link in their place, and brings them back. The
// original goes only after its copy was hashed equal and found unused and unchanged; any doubt
// before that removes only the copy. Every step is recorded, so a quit, a crash or an unplugged
// drive leaves a move that resumes. At most two moves work at once; the others wait in order.
class AppRelocator : public QObject {
    Q_OBJECT
public:
    static constexpr int maxActive = 2;

    // Reads the ledger and the manifests and resumes what can resume. `volumes` may be null.
    explicit AppRelocator(MoverLog &log, platform::VolumeWatcher *volumes,
                          QObject *parent = nullptr);
    ~AppRelocator() override;

    const QList<AppMoveJob> &pendingJobs() const { return m_jobs; }
    const QList<MovedApp> &moved() const { return m_moved; }
    const QHash<QString, AppOp> &activeOps() const { return m_ops; }
    std::optional<AppMoveJob> job(const QUuid &id) const;
    // Some job is not done, cancelled or failed (one waiting for its drive included).
    bool hasUnfinishedJobs() const;
    // The names of the apps being copied, verified or linked now.
    QStringList movingNames() const;

    // The queued job, or why nothing was queued. `nvmePath` is the drive's mount folder.
    std::variant<QUuid, AppRelocateError> moveToNVMe(const AppEntry &entry,
                                                     const QString &nvmePath);
    std::variant<QUuid, AppRelocateError> moveBackFromNVMe(const MovedApp &moved);
    // Forgets the finished jobs and their records.
    void clearFinished();

    void recoverPendingManifests();
    void handleVolumeUnmounted(const QString &mountPoint);
    // Stops every child and background step, leaving the records to resume at the next start.
    void stopForQuit();

Q_SIGNALS:
    void jobsChanged();
    void movedChanged();
    // Emitted as the phase changes, before the next step starts.
    void phaseChanged(const QUuid &id, quindle::AppMovePhase phase);

private:
    struct Task {
        quint64 serial = 0;
        std::shared_ptr<std::atomic_bool> cancelled;
    };

    AppMoveJob *find(const QUuid &id);
    std::variant<QUuid, AppRelocateError> enqueue(AppMoveManifest manifest,
                                                  AppMoveDirection direction, qint64 sizeBytes);
    void scheduleNext();
    void startStep(const QUuid &id);
    void startRsync(const QUuid &id);
    void handleRsyncExit(const QUuid &id, StreamedProcess *process, int code);
    void handleRsyncLine(const QUuid &id, const QString &line, bool standardError);
    void startVerify(const QUuid &id);
    void storeHashesAndContinue(const QUuid &id, const std::optional<QString> &src,
                                const std::optional<QString> &dst);
    void rollbackDestination(const QUuid &id, const QString &reason);
    void runLink(const QUuid &id);
    void finishLink(const QUuid &id, const LinkOutcome &outcome);
    void updatePhase(const QUuid &id, AppMovePhase to,
                     const std::optional<QString> &error = std::nullopt,
                     const std::optional<QString> &status = std::nullopt);
    bool canResume(AppMoveJob &job, const std::optional<QString> &currentUUID);
    void stopWork(const QUuid &id);
    void saveLedger();
    void log(MoverLogLine::Source source, const QString &text, const QUuid &id);
    bool isBusy(const QUuid &id) const;
    int activeCount() const;

    template <typename Work, typename Then> void runOnWorker(Work &&work, Then &&then) {
        auto future = QtConcurrent::run(blockingPool(), std::forward<Work>(work));
        m_workers.removeIf([](const QFuture<void> &running) { return running.isFinished(); });
        m_workers.append(QFuture<void>(future));
        whenFinished(future, this, std::forward<Then>(then));
    }
    Task beginTask(const QUuid &id);
    // True when the finished task is still the one on record; forgets it.
    bool finishTask(const QUuid &id, quint64 serial);

    MoverLog &m_log;
    QList<AppMoveJob> m_jobs;
    QList<MovedApp> m_moved;
    QHash<QString, AppOp> m_ops;
    QHash<QUuid, StreamedProcess *> m_processes;
    QSet<StreamedProcess *> m_stoppedCopies;
    QHash<QUuid, Task> m_tasks; // a hash, a link or a rollback under way
    QHash<QUuid, int> m_lastWrittenPercent;
    QList<QFuture<void>> m_workers;
    quint64 m_nextSerial = 1;
    bool m_inPass = false;
    bool m_stopped = false;
};

} // namespace quindle
