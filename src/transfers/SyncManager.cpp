#include "transfers/SyncManager.h"

#include "core/BackgroundPool.h"
#include "core/ConfigFile.h"
#include "core/JsonFormat.h"
#include "core/ServiceStatus.h"
#include "core/WhenFinished.h"
#include "platform/MountTable.h"
#include "platform/VolumeWatcher.h"
#include "transfers/InterruptedPairs.h"
#include "transfers/JobStore.h"
#include "transfers/RemoteManager.h"

#include <QDebug>
#include <QFileInfo>
#include <QtConcurrent>

namespace quindle {

namespace {

constexpr int maxMissedRuns = 1000;

struct RcloneStatus {
    QString path;
    std::optional<QString> version;
    QHash<QString, QString> remotes;
};

// The manager's own test: a colon before any slash, even at the start, marks a remote.
bool isLocalEndpoint(const QString &endpoint) {
    const qsizetype colon = endpoint.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return true;
    const qsizetype slash = endpoint.indexOf(QLatin1Char('/'));
    return slash >= 0 && slash < colon;
}

QString withoutTrailingSlash(QString path) {
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool liesIn(const QString &endpoint, const QString &drive) {
    if (!isLocalEndpoint(endpoint))
        return false;
    const QString path = withoutTrailingSlash(endpoint);
    return path == drive || path.startsWith(drive + QLatin1Char('/'));
}

bool needsResync(const QStringList &log) {
    return std::any_of(log.cbegin(), log.cend(), [](const QString &line) {
        return line.contains(QLatin1String("Must run --resync to recover.")) ||
               line.contains(QLatin1String("prior lock file found"));
    });
}

int countReplaced(const QStringList &log, const QString &suffix) {
    return static_cast<int>(std::count_if(log.cbegin(), log.cend(), [&](const QString &line) {
        return line.contains(QLatin1String(" to: ")) && line.contains(suffix);
    }));
}

} // namespace

SyncManager::SyncManager(platform::VolumeWatcher *volumes, QObject *parent)
    : QObject(parent)
    , m_clock(nowUtc)
    , m_zone(QTimeZone::systemTimeZone()) {
    JobStore::Loaded loaded = JobStore::load();
    if (loaded.damaged) {
        const JobStore::Kept kept = JobStore::keepDamagedFile(nowUtc());
        m_notice = kept.notice;
        if (kept.error)
            qWarning().noquote() << "Quindle: the damaged transfers file could not be kept:"
                                 << *kept.error;
    }
    m_jobs = std::move(loaded.jobs);
    bool requeued = false;
    for (SyncJob &job : m_jobs) {
        if (job.state != JobState::Running && job.state != JobState::Preparing)
            continue;
        // Its rclone died with the process that ran it, mid-file perhaps.
        InterruptedPairs::add(job.source, job.destination);
        job.state = JobState::Queued;
        requeued = true;
    }
    if (requeued || loaded.damaged)
        JobStore::save(m_jobs);

    if (volumes) {
        connect(volumes, &platform::VolumeWatcher::volumeMounted, this,
                &SyncManager::resumeJobsAwaitingDrive);
        connect(volumes, &platform::VolumeWatcher::volumeUnmounted, this,
                &SyncManager::onVolumeUnmounted);
    }
    connect(&m_scheduleTimer, &QTimer::timeout, this, &SyncManager::tickScheduler);
}

SyncManager::~SyncManager() {
    terminateAllInFlight();
}

void SyncManager::stopForQuit() {
    m_scheduleTimer.stop();
    terminateAllInFlight();
}

void SyncManager::start() {
    if (m_started)
        return;
    m_started = true;
    refreshRcloneStatus();
    resumeJobsAwaitingDrive();
    tickScheduler();
    m_scheduleTimer.start(schedulerIntervalMs);
}

std::optional<SyncJob> SyncManager::job(const QUuid &id) const {
    for (const SyncJob &job : m_jobs)
        if (job.id == id)
            return job;
    return std::nullopt;
}

SyncJob *SyncManager::find(const QUuid &id) {
    for (SyncJob &job : m_jobs)
        if (job.id == id)
            return &job;
    return nullptr;
}

int SyncManager::runningCount() const {
    return static_cast<int>(std::count_if(m_jobs.cbegin(), m_jobs.cend(), [](const SyncJob &job) {
        return job.state == JobState::Running || job.state == JobState::Preparing;
    }));
}

bool SyncManager::hasJobsAwaitingDrive() const {
    return std::any_of(m_jobs.cbegin(), m_jobs.cend(),
                       [](const SyncJob &job) { return job.state == JobState::WaitingForDrive; });
}

bool SyncManager::hasFinishedJobs() const {
    return std::any_of(m_jobs.cbegin(), m_jobs.cend(),
                       [](const SyncJob &job) { return isFinished(job.state); });
}

void SyncManager::changed() {
    if (const std::optional<QString> error = JobStore::save(m_jobs))
        qWarning().noquote() << "Quindle: the transfers could not be saved:" << *error;
    Q_EMIT jobsChanged();
}

QString SyncManager::drivePath() {
    const std::optional<QString> path = StatusFileKeys::read().nvmePath;
    return path && !path->isEmpty() ? withoutTrailingSlash(*path) : QString();
}

bool SyncManager::driveAvailable() {
    const QString path = drivePath();
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    // An empty mount folder stays behind when the drive goes; rclone would fill the internal
    // disk through it.
    if (platform::isMountPoint(path))
        return true;
    return ConfigFile().value(QStringLiteral("NVME_REQUIRE_MOUNTPOINT")) == QLatin1String("0");
}

bool SyncManager::needsDrive(const SyncJob &job) {
    const QString drive = drivePath();
    return !drive.isEmpty() && (liesIn(job.source, drive) || liesIn(job.destination, drive));
}

bool SyncManager::enqueue(SyncJob job) {
    const bool duplicate = std::any_of(m_jobs.cbegin(), m_jobs.cend(), [&](const SyncJob &other) {
        return other.sameTransfer(job) && isActiveForDedup(other.state);
    });
    if (duplicate)
        return false;
    const bool waits = needsDrive(job) && !driveAvailable();
    job.state = waits ? JobState::WaitingForDrive : JobState::Queued;
    m_jobs.prepend(std::move(job));
    changed();
    if (!waits)
        scheduleNext();
    return true;
}

void SyncManager::scheduleNext() {
    if (!m_probed)
        return; // the probe's answer runs the dispatcher
    while (runningCount() < maxConcurrent) {
        // A job resumed while its paused run still ends waits for that run to be gone.
        const auto next = std::find_if(m_jobs.begin(), m_jobs.end(), [this](const SyncJob &job) {
            return job.state == JobState::Queued && !m_runs.contains(job.id);
        });
        if (next == m_jobs.end())
            return;
        if (needsDrive(*next) && !driveAvailable()) {
            next->state = JobState::WaitingForDrive;
            changed();
            continue;
        }
        startJob(*next);
    }
}

void SyncManager::startJob(SyncJob &job) {
    job.state = JobState::Running;
    job.startedAt = m_clock();
    job.completedAt.reset();
    job.errorMessage.reset();
    job.progress = JobProgress{};
    job.log.clear();
    if (job.mode == JobMode::Bisync && m_rcloneInstalled && !m_features.bisync()) {
        failJob(job, QStringLiteral("Two-way sync needs rclone 1.58 or later."));
        return;
    }
    RcloneRunContext context;
    context.features = m_features;
    context.remoteTypes = m_remoteTypes;
    context.interrupted = InterruptedPairs::contains(job.source, job.destination);
    context.startedAt = *job.startedAt;
    const QStringList arguments = RcloneClient::arguments(job, context);

    auto *run = new RcloneRun(this);
    const QUuid id = job.id;
    connect(run, &RcloneRun::progress, this, [this, id](const JobProgress &progress) {
        if (SyncJob *job = find(id)) {
            job->progress = progress;
            Q_EMIT jobsChanged();
        }
    });
    connect(run, &RcloneRun::logLine, this,
            [this, id](const QString &line) { appendLog(id, line); });
    connect(run, &RcloneRun::finished, this,
            [this, id](int status, bool bySignal) { finishJob(id, status, bySignal); });
    if (const std::optional<QString> error = run->start(m_rclonePath, arguments)) {
        delete run;
        failJob(job, *error);
        return;
    }
    m_runs.insert(id, run);
    appendLog(id, QStringLiteral("rclone ") + arguments.join(QLatin1Char(' ')));
    changed();
    Q_EMIT jobStarted(id);
}

void SyncManager::failJob(SyncJob &job, const QString &message) {
    job.state = JobState::Failed;
    job.errorMessage = message;
    job.completedAt = m_clock();
    const QUuid id = job.id;
    changed();
    Q_EMIT jobEnded(id);
    scheduleNext();
}

void SyncManager::appendLog(const QUuid &id, const QString &line) {
    SyncJob *job = find(id);
    if (!job)
        return;
    job->log << line;
    if (job->log.size() > maxLogLines)
        job->log.remove(0, job->log.size() - maxLogLines);
    Q_EMIT jobsChanged();
}

void SyncManager::finishJob(const QUuid &id, int status, bool bySignal) {
    if (RcloneRun *run = m_runs.take(id))
        run->deleteLater();
    const StopReason reason = m_stopping.take(id); // None when nobody asked it to stop
    SyncJob *job = find(id);
    if (!job)
        return;
    if (status == 0) {
        InterruptedPairs::remove(job->source, job->destination);
        job->state = JobState::Completed;
        job->progress.bytesTransferred = job->progress.bytesTotal;
        if (job->mode == JobMode::Move && job->startedAt)
            job->replacedFiles =
                countReplaced(job->log, RcloneClient::replacedSuffix(*job->startedAt));
    } else {
        InterruptedPairs::add(job->source, job->destination);
        if (job->state == JobState::Paused || reason == StopReason::Pause) {
            if (job->state != JobState::Queued) // not resumed while it stopped
                job->state = JobState::Paused;
        } else if (reason == StopReason::ParkForDrive || (needsDrive(*job) && !driveAvailable())) {
            job->state = JobState::WaitingForDrive;
        } else if (bySignal || reason == StopReason::Cancel) {
            job->state = JobState::Canceled;
        } else {
            const QStringList last = job->log.mid(std::max<qsizetype>(0, job->log.size() - 5));
            QString message = QStringLiteral("rclone exited with code %1. Last log lines:\n%2")
                                  .arg(status)
                                  .arg(last.join(QLatin1Char('\n')));
            if (job->mode == JobMode::Bisync && needsResync(job->log))
                message += QStringLiteral(
                    "\nThis two-way sync was interrupted. Check both sides, then run it once with "
                    "“First run for this pair (--resync)”.");
            job->state = JobState::Failed;
            job->errorMessage = message;
        }
    }
    if (isFinished(job->state))
        job->completedAt = m_clock();
    changed();
    Q_EMIT jobEnded(id);
    scheduleNext();
}

void SyncManager::stopRun(const QUuid &id, StopReason reason) {
    RcloneRun *run = m_runs.value(id);
    if (!run)
        return;
    m_stopping.insert(id, reason);
    run->terminate();
}

void SyncManager::cancel(const QUuid &id) {
    SyncJob *job = find(id);
    if (!job)
        return;
    if (m_runs.contains(id)) {
        stopRun(id, StopReason::Cancel);
    } else if (job->state == JobState::Queued || job->state == JobState::Paused ||
               job->state == JobState::WaitingForDrive) {
        job->state = JobState::Canceled;
        job->completedAt = m_clock();
        changed();
    }
    scheduleNext();
}

void SyncManager::pause(const QUuid &id) {
    SyncJob *job = find(id);
    if (!job || !m_runs.contains(id) || job->mode == JobMode::Bisync)
        return;
    stopRun(id, StopReason::Pause);
    job->state = JobState::Paused;
    changed();
}

void SyncManager::resume(const QUuid &id) {
    SyncJob *job = find(id);
    if (!job || job->state != JobState::Paused)
        return;
    job->state = JobState::Queued;
    changed();
    scheduleNext();
}

std::optional<QUuid> SyncManager::retry(const QUuid &id) {
    const SyncJob *old = find(id);
    if (!old || !isFinished(old->state))
        return std::nullopt;
    SyncJob again(old->mode, old->source, old->destination);
    again.createdAt = m_clock();
    again.bandwidthLimit = old->bandwidthLimit;
    again.transfers = old->transfers;
    again.checkers = old->checkers;
    again.dryRun = old->dryRun;
    again.bisyncResync = old->bisyncResync;
    const QUuid newId = again.id;
    return enqueue(std::move(again)) ? std::optional(newId) : std::nullopt;
}

bool SyncManager::remove(const QUuid &id) {
    const qsizetype before = m_jobs.size();
    m_jobs.removeIf([&](const SyncJob &job) { return job.id == id && isFinished(job.state); });
    if (m_jobs.size() == before)
        return false;
    changed();
    return true;
}

void SyncManager::cancelAllWaiting() {
    bool any = false;
    for (SyncJob &job : m_jobs) {
        if (job.state != JobState::WaitingForDrive)
            continue;
        job.state = JobState::Canceled;
        job.errorMessage = QStringLiteral("Cancelled while waiting for external drive.");
        job.completedAt = m_clock();
        any = true;
    }
    if (any)
        changed();
}

void SyncManager::clearFinished() {
    m_jobs.removeIf([](const SyncJob &job) { return isFinished(job.state); });
    changed();
}

void SyncManager::resumeJobsAwaitingDrive() {
    if (!hasJobsAwaitingDrive() || !driveAvailable())
        return;
    for (SyncJob &job : m_jobs)
        if (job.state == JobState::WaitingForDrive)
            job.state = JobState::Queued;
    changed();
    scheduleNext();
}

void SyncManager::onVolumeUnmounted(const QString &) {
    if (driveAvailable())
        return;
    for (const SyncJob &job : std::as_const(m_jobs))
        if (m_runs.contains(job.id) && needsDrive(job))
            stopRun(job.id, StopReason::ParkForDrive);
}

void SyncManager::refreshRcloneStatus() {
    QFuture<RcloneStatus> probe = QtConcurrent::run(blockingPool(), [] {
        RcloneStatus status;
        status.path = RcloneClient::locate();
        if (!status.path.isEmpty()) {
            status.version = RcloneClient::probeVersion(status.path);
            status.remotes =
                RemoteManager::typesByName(RemoteManager::readRemotes().value_or(QList<Remote>{}));
        }
        return status;
    });
    whenFinished(probe, this, [this](const RcloneStatus &status) {
        m_rclonePath = status.path;
        m_rcloneInstalled = !status.path.isEmpty();
        m_rcloneVersion = status.version;
        m_features = status.version
                         ? RcloneFeatures::fromVersion(*status.version).value_or(RcloneFeatures{})
                         : RcloneFeatures{};
        m_remoteTypes = status.remotes;
        m_probed = true;
        Q_EMIT rcloneStatusChanged();
        scheduleNext();
    });
}

void SyncManager::tickScheduler() {
    const QDateTime now = m_clock();
    QList<SyncJob> spawned;
    bool any = false;
    for (SyncJob &templ : m_jobs) {
        if (!templ.isTemplate())
            continue;
        const QDateTime base = templ.lastScheduledRun.value_or(templ.createdAt);
        std::optional<QDateTime> next = templ.schedule.nextFireDate(base, m_zone);
        if (!next || now < *next)
            continue;
        const bool busy = std::any_of(m_jobs.cbegin(), m_jobs.cend(), [&](const SyncJob &job) {
            return job.sameTransfer(templ) && isActiveForDedup(job.state);
        });
        if (busy)
            continue;
        int due = 0;
        while (next && *next <= now && due < maxMissedRuns + 1) {
            ++due;
            next = templ.schedule.nextFireDate(*next, m_zone);
        }
        SyncJob run(templ.mode, templ.source, templ.destination);
        run.createdAt = now;
        run.bandwidthLimit = templ.bandwidthLimit;
        run.transfers = templ.transfers;
        run.checkers = templ.checkers;
        run.dryRun = templ.dryRun;
        run.isScheduledInstance = true;
        templ.lastScheduledRun = now;
        templ.missedRuns = std::min(due - 1, maxMissedRuns);
        spawned << std::move(run);
        any = true;
    }
    for (SyncJob &run : spawned)
        enqueue(std::move(run));
    if (any)
        changed();
}

void SyncManager::terminateAllInFlight() {
    const QList<QUuid> running = m_runs.keys();
    for (const QUuid &id : running) {
        RcloneRun *run = m_runs.take(id);
        run->disconnect(this);
        delete run; // stops rclone: SIGTERM, then SIGKILL after the grace
        if (SyncJob *job = find(id)) {
            InterruptedPairs::add(job->source, job->destination);
            if (job->state == JobState::Running || job->state == JobState::Preparing)
                job->state = JobState::Queued;
        }
    }
    m_stopping.clear();
    if (!running.isEmpty())
        changed();
}

QString SyncManager::abandonPendingHelp() {
    return QStringLiteral(
        "Cancel every transfer currently waiting for the external drive to be reconnected.");
}

QString SyncManager::clearCompletedHelp() {
    return QStringLiteral("Remove all completed, failed, and canceled jobs from the list");
}

QString SyncManager::checkDriveHelp() {
    return QStringLiteral("Re-test whether the external drive is now reachable. Normally this "
                          "happens automatically on mount.");
}

} // namespace quindle
