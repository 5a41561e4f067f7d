#include "apps/AppRelocator.h"

#include "apps/AppManifestStore.h"
#include "core/DriveIdentity.h"
#include "core/JsonFormat.h"
#include "core/NVMeMount.h"
#include "mover/PathOverlap.h"
#include "mover/ProcessRunner.h"
#include "mover/RsyncProgress.h"
#include "mover/RsyncSupport.h"
#include "mover/TreeHasher.h"
#include "platform/InstallHints.h"
#include "platform/MountFacts.h"
#include "platform/ProgramLocations.h"
#include "platform/VolumeWatcher.h"

#include <QDir>
#include <QFileInfo>

namespace quindle {

using Source = MoverLogLine::Source;

namespace {

bool existsOrIsLink(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString copySource(const AppMoveJob &job) {
    return job.direction == AppMoveDirection::ToNVMe ? job.manifest.originalPath
                                                     : job.manifest.nvmePath;
}

QString copyDestination(const AppMoveJob &job) {
    return job.direction == AppMoveDirection::ToNVMe ? job.manifest.nvmePath
                                                     : job.manifest.sidecarPath();
}

QString drivesAppsFolder(const AppMoveManifest &manifest) {
    return QFileInfo(manifest.nvmePath).path();
}

} // namespace

AppRelocator::AppRelocator(MoverLog &log, platform::VolumeWatcher *volumes, QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_moved(MovedAppsLedger::load()) {
    if (volumes) {
        connect(volumes, &platform::VolumeWatcher::volumeMounted, this,
                [this] { recoverPendingManifests(); });
        connect(volumes, &platform::VolumeWatcher::volumeUnmounted, this,
                &AppRelocator::handleVolumeUnmounted);
    }
    recoverPendingManifests();
}

AppRelocator::~AppRelocator() {
    stopForQuit();
}

std::optional<AppMoveJob> AppRelocator::job(const QUuid &id) const {
    for (const AppMoveJob &job : m_jobs)
        if (job.id() == id)
            return job;
    return std::nullopt;
}

AppMoveJob *AppRelocator::find(const QUuid &id) {
    for (AppMoveJob &job : m_jobs)
        if (job.id() == id)
            return &job;
    return nullptr;
}

bool AppRelocator::hasUnfinishedJobs() const {
    return std::any_of(m_jobs.cbegin(), m_jobs.cend(),
                       [](const AppMoveJob &job) { return !isTerminal(job.manifest.phase); });
}

QStringList AppRelocator::movingNames() const {
    QStringList names;
    for (const AppMoveJob &job : m_jobs)
        if (isActive(job.manifest.phase))
            names << job.manifest.displayName;
    return names;
}

void AppRelocator::log(Source source, const QString &text, const QUuid &id) {
    m_log.append(source, text, id);
}

// ---- requests -------------------------------------------------------------------------------

std::variant<QUuid, AppRelocateError> AppRelocator::moveToNVMe(const AppEntry &entry,
                                                               const QString &nvmePath) {
    using Kind = AppRelocateError::Kind;
    if (m_stopped)
        return AppRelocateError{Kind::Quitting, {}};
    if (!QFileInfo(nvmePath).isDir() || !nvmeIsMounted(nvmePath))
        return AppRelocateError{Kind::NVMeNotMounted, {}};
    if (entry.isMovedSymlink || QFileInfo(entry.path).isSymLink())
        return AppRelocateError{Kind::AlreadyMoved, {}};
    if (entry.packageOwner)
        return AppRelocateError{Kind::RefusedPackageManaged, {}};
    if (entry.accessProblem)
        return AppRelocateError{Kind::NotMovable, *entry.accessProblem};
    if (const std::optional<platform::MountFacts> mount = platform::mountFactsOf(nvmePath)) {
        if (mount->noexec)
            return AppRelocateError{Kind::DriveNoExec, {}};
        if (platform::lacksUnixPermissions(mount->fileSystemType))
            return AppRelocateError{Kind::DriveWithoutPermissions, mount->fileSystemType};
    }
    const QString source = QDir::cleanPath(entry.path);
    const QString destination =
        QDir::cleanPath(nvmePath) + QStringLiteral("/Apps/") + QFileInfo(source).fileName();
    if (existsOrIsLink(destination))
        return AppRelocateError{Kind::DestinationAlreadyExists, destination};
    if (!QFileInfo(source).isDir())
        return AppRelocateError{Kind::SourceMissing, source};
    if (const std::optional<QString> overlap = overlapRefusal(source, destination))
        return AppRelocateError{Kind::NotMovable, *overlap};

    AppMoveManifest manifest;
    manifest.originalPath = source;
    manifest.nvmePath = destination;
    manifest.bundleID = entry.bundleID;
    manifest.displayName = entry.displayName;
    return enqueue(manifest, AppMoveDirection::ToNVMe, entry.sizeBytes);
}

std::variant<QUuid, AppRelocateError> AppRelocator::moveBackFromNVMe(const MovedApp &moved) {
    using Kind = AppRelocateError::Kind;
    if (m_stopped)
        return AppRelocateError{Kind::Quitting, {}};
    const QFileInfo original(moved.originalPath);
    if (original.exists() && !original.isSymLink())
        return AppRelocateError{Kind::OriginalPathBlocked, moved.originalPath};
    if (!QFileInfo(moved.nvmePath).isDir())
        return AppRelocateError{Kind::SourceMissing, moved.nvmePath};
    if (existsOrIsLink(moved.originalPath + QStringLiteral(".restoring")))
        return AppRelocateError{Kind::DestinationAlreadyExists,
                                moved.originalPath + QStringLiteral(".restoring")};
    AppMoveManifest manifest;
    manifest.originalPath = moved.originalPath;
    manifest.nvmePath = moved.nvmePath;
    manifest.bundleID = moved.bundleID;
    manifest.displayName = moved.displayName;
    return enqueue(manifest, AppMoveDirection::FromNVMe, moved.sizeBytes);
}

std::variant<QUuid, AppRelocateError>
AppRelocator::enqueue(AppMoveManifest manifest, AppMoveDirection direction, qint64 sizeBytes) {
    manifest.id = QUuid::createUuid();
    manifest.driveUUID = currentDriveUUID();
    manifest.srcSizeKB = sizeBytes / 1024;
    manifest.startedAt = nowUtc();
    manifest.direction = direction;
    const QUuid id = manifest.id;
    m_jobs << AppMoveJob{AppManifestStore::write(manifest), direction};
    const QString key = m_jobs.last().manifest.appKey();
    m_ops.insert(key, AppOp{key, QStringLiteral("Queued…"), nowUtc()});
    log(Source::Enqueue,
        QStringLiteral("enqueued: %1 → %2")
            .arg(copySource(m_jobs.last()), copyDestination(m_jobs.last())),
        id);
    Q_EMIT jobsChanged();
    // The size on record is the one measured now, not the one the list showed.
    runOnWorker([source = copySource(m_jobs.last())] { return duKBAsync(source); },
                [this, id](std::optional<qint64> kb) {
                    AppMoveJob *job = find(id);
                    if (!kb || !job || isTerminal(job->manifest.phase))
                        return;
                    job->manifest.srcSizeKB = *kb;
                    job->manifest = AppManifestStore::write(job->manifest);
                });
    scheduleNext();
    return id;
}

void AppRelocator::clearFinished() {
    const qsizetype before = m_jobs.size();
    m_jobs.removeIf([](const AppMoveJob &job) {
        if (!isTerminal(job.manifest.phase))
            return false;
        AppManifestStore::remove(job.id());
        return true;
    });
    if (m_jobs.size() != before)
        Q_EMIT jobsChanged();
}

// ---- scheduling -----------------------------------------------------------------------------

bool AppRelocator::isBusy(const QUuid &id) const {
    return m_processes.contains(id) || m_tasks.contains(id);
}

int AppRelocator::activeCount() const {
    return static_cast<int>(std::count_if(m_jobs.cbegin(), m_jobs.cend(), [](const AppMoveJob &j) {
        return isActive(j.manifest.phase);
    }));
}

// Jobs holding a slot carry on first; queued ones stay `writing` until a slot is free, then
// start in the order they were queued. A step that ends at once (a failure, or a copy found
// already swapped in) frees its slot or moves on within the same pass.
void AppRelocator::scheduleNext() {
    if (m_stopped || m_inPass)
        return;
    m_inPass = true;
    // Every turn starts a step, queues a job or ends a job's phase, so the turns are bounded.
    for (qsizetype turns = 4 * m_jobs.size() + 4; turns > 0; --turns) {
        QList<QUuid> idle;
        for (const AppMoveJob &job : std::as_const(m_jobs))
            if (isActive(job.manifest.phase) && !isBusy(job.id()))
                idle << job.id();
        if (!idle.isEmpty()) {
            for (const QUuid &id : std::as_const(idle))
                startStep(id);
            continue;
        }
        const auto queued = std::find_if(m_jobs.cbegin(), m_jobs.cend(), [](const AppMoveJob &j) {
            return j.manifest.phase == AppMovePhase::Writing;
        });
        if (activeCount() >= maxActive || queued == m_jobs.cend())
            break;
        updatePhase(queued->id(), AppMovePhase::Copying);
    }
    m_inPass = false;
}

void AppRelocator::startStep(const QUuid &id) {
    const AppMoveJob *job = find(id);
    if (!job || isBusy(id))
        return;
    switch (job->manifest.phase) {
    case AppMovePhase::Copying:
        return startRsync(id);
    case AppMovePhase::Verifying:
        return startVerify(id);
    case AppMovePhase::Linking:
        return runLink(id);
    default:
        return;
    }
}

AppRelocator::Task AppRelocator::beginTask(const QUuid &id) {
    Task task{m_nextSerial++, std::make_shared<std::atomic_bool>(false)};
    m_tasks.insert(id, task);
    return task;
}

bool AppRelocator::finishTask(const QUuid &id, quint64 serial) {
    const auto it = m_tasks.constFind(id);
    if (it == m_tasks.cend() || it->serial != serial)
        return false;
    m_tasks.erase(it);
    return !m_stopped;
}

// ---- copy -----------------------------------------------------------------------------------

void AppRelocator::startRsync(const QUuid &id) {
    AppMoveJob *job = find(id);
    const std::optional<QString> current = currentDriveUUID();
    if (job->manifest.driveUUID && current && *current != *job->manifest.driveUUID) {
        updatePhase(id, AppMovePhase::Failed,
                    QStringLiteral("NVMe UUID mismatch (%1 vs %2). Refusing to proceed.")
                        .arg(*job->manifest.driveUUID, *current));
        return scheduleNext();
    }
    const QString source = copySource(*job), destination = copyDestination(*job);
    // The swap may have happened before an interruption: the copy is then the app, and copying
    // through the link would copy it onto itself.
    if (const QFileInfo original(source);
        job->direction == AppMoveDirection::ToNVMe && original.isSymLink()) {
        if (QDir::cleanPath(original.symLinkTarget()) == QDir::cleanPath(destination))
            updatePhase(id, AppMovePhase::Linking, std::nullopt,
                        QStringLiteral("Replacing original with symlink…"));
        else
            updatePhase(
                id, AppMovePhase::Failed,
                AppRelocateError{AppRelocateError::Kind::OriginalPathBlocked, source}.message());
        return scheduleNext();
    }
    QDir().mkpath(QFileInfo(destination).path());
    const std::optional<RsyncSupport> rsync = RsyncSupport::current();
    if (!rsync) {
        updatePhase(id, AppMovePhase::Failed,
                    QStringLiteral("GNU rsync 3.x is required for app relocation. %1 and retry.")
                        .arg(platform::runInstallInTerminal(QStringLiteral("rsync"))));
        return scheduleNext();
    }
    const QStringList arguments = rsync->arguments(source, destination, true);
    log(Source::Command, formatCommandLine(rsync->executablePath, arguments), id);
    updatePhase(id, AppMovePhase::Copying, std::nullopt,
                job->direction == AppMoveDirection::ToNVMe
                    ? QStringLiteral("Copying to NVMe…")
                    : QStringLiteral("Copying back to %1…")
                          .arg(QFileInfo(job->manifest.originalPath).path()));

    auto *process = new StreamedProcess(this);
    connect(process, &StreamedProcess::standardOutputLine, this,
            [this, id](const QString &line) { handleRsyncLine(id, line, false); });
    connect(process, &StreamedProcess::standardErrorLine, this,
            [this, id](const QString &line) { handleRsyncLine(id, line, true); });
    connect(process, &StreamedProcess::finished, this,
            [this, id, process](int code) { handleRsyncExit(id, process, code); });
    if (!process->start(rsync->executablePath, arguments)) {
        const QString reason = process->errorString();
        process->disconnect(this);
        process->deleteLater();
        log(Source::RsyncStderr, QStringLiteral("failed to spawn rsync: ") + reason, id);
        updatePhase(id, AppMovePhase::Failed, QStringLiteral("Failed to start rsync: ") + reason);
        return scheduleNext();
    }
    m_processes.insert(id, process);
    m_lastWrittenPercent.remove(id);
    log(Source::Info, QStringLiteral("rsync started (pid %1)").arg(process->pid()), id);
}

void AppRelocator::handleRsyncLine(const QUuid &id, const QString &line, bool standardError) {
    if (standardError) {
        log(Source::RsyncStderr, line, id);
        return;
    }
    log(Source::RsyncStdout, line, id);
    const std::optional<double> fraction = parseRsyncProgress(line);
    AppMoveJob *job = find(id);
    if (!fraction || !job)
        return;
    job->manifest.fractionAtLastWrite = *fraction;
    const int percent = static_cast<int>(*fraction * 100);
    if (auto op = m_ops.find(job->manifest.appKey()); op != m_ops.end())
        op->label = QStringLiteral("Copying… %1%").arg(percent);
    if (percent % 5 == 0 && m_lastWrittenPercent.value(id, -1) != percent) {
        m_lastWrittenPercent.insert(id, percent);
        job->manifest = AppManifestStore::write(job->manifest);
        Q_EMIT jobsChanged();
    }
}

void AppRelocator::handleRsyncExit(const QUuid &id, StreamedProcess *process, int code) {
    m_processes.remove(id);
    process->deleteLater();
    const bool stopped = m_stoppedCopies.remove(process);
    const AppMoveJob *job = find(id);
    if (job && job->manifest.phase == AppMovePhase::Copying && !stopped) {
        if (code == 0)
            updatePhase(id, AppMovePhase::Verifying, std::nullopt,
                        QStringLiteral("Verifying hash…"));
        else if (QFileInfo(drivesAppsFolder(job->manifest)).isDir())
            updatePhase(id, AppMovePhase::Failed,
                        QStringLiteral("rsync exited with code %1. Original preserved.").arg(code));
        else
            updatePhase(id, AppMovePhase::WaitingForDrive, std::nullopt,
                        QStringLiteral("NVMe disconnected during copy. Will resume on "
                                       "reconnect."));
    }
    scheduleNext();
}

// ---- verification and linking ---------------------------------------------------------------

void AppRelocator::startVerify(const QUuid &id) {
    const AppMoveJob *job = find(id);
    const Task task = beginTask(id);
    log(Source::Hashing,
        QStringLiteral("hashing %1 and %2").arg(copySource(*job), copyDestination(*job)), id);
    runOnWorker(
        [source = copySource(*job), destination = copyDestination(*job),
         cancelled = task.cancelled] {
            return TreeHasher::hashBoth(source, destination, {}, {},
                                        [cancelled] { return cancelled->load(); });
        },
        [this, id, serial = task.serial](const TreeHasher::Pair &hashes) {
            if (finishTask(id, serial))
                storeHashesAndContinue(id, hashes.source, hashes.destination);
        });
}

void AppRelocator::storeHashesAndContinue(const QUuid &id, const std::optional<QString> &src,
                                          const std::optional<QString> &dst) {
    AppMoveJob *job = find(id);
    if (!job || job->manifest.phase != AppMovePhase::Verifying)
        return scheduleNext();
    job->manifest.srcContentHash = src;
    job->manifest.dstContentHash = dst;
    job->manifest = AppManifestStore::write(job->manifest);
    if (!src || !dst)
        return rollbackDestination(id, QStringLiteral("Could not hash one or both sides for "
                                                      "integrity check."));
    if (*src != *dst)
        return rollbackDestination(id, QStringLiteral("Content hash mismatch (%1 vs %2). Rolled "
                                                      "back destination; original preserved.")
                                           .arg(src->left(12), dst->left(12)));
    updatePhase(id, AppMovePhase::Linking, std::nullopt,
                QStringLiteral("Replacing original with symlink…"));
    scheduleNext();
}

void AppRelocator::rollbackDestination(const QUuid &id, const QString &reason) {
    const AppMoveJob *job = find(id);
    const QString copy = copyDestination(*job);
    log(Source::Command, formatCommandLine(platform::rmExecutable(), {QStringLiteral("-rf"), copy}),
        id);
    const Task task = beginTask(id);
    runOnWorker(
        [copy] {
            return runProcessAsync(platform::rmExecutable(), {QStringLiteral("-rf"), copy});
        },
        [this, id, reason, serial = task.serial](int) {
            if (!finishTask(id, serial))
                return;
            updatePhase(id, AppMovePhase::Failed, reason);
            scheduleNext();
        });
}

void AppRelocator::runLink(const QUuid &id) {
    const AppMoveJob *job = find(id);
    const Task task = beginTask(id);
    runOnWorker(
        [manifest = job->manifest, direction = job->direction, cancelled = task.cancelled] {
            return linkApp(manifest, direction, [cancelled] { return cancelled->load(); });
        },
        [this, id, serial = task.serial](const LinkOutcome &outcome) {
            if (finishTask(id, serial))
                finishLink(id, outcome);
        });
}

void AppRelocator::finishLink(const QUuid &id, const LinkOutcome &outcome) {
    AppMoveJob *job = find(id);
    if (!job || job->manifest.phase != AppMovePhase::Linking)
        return scheduleNext();
    for (const QString &line : outcome.logLines)
        log(Source::Info, line, id);
    if (outcome.kind == LinkOutcome::Kind::RollBack)
        return rollbackDestination(id, outcome.message);
    if (outcome.kind == LinkOutcome::Kind::Failed) {
        log(Source::RsyncStderr, QStringLiteral("LINK FAILED: ") + outcome.message, id);
        updatePhase(id, AppMovePhase::Failed,
                    QStringLiteral("Linking step failed: %1").arg(outcome.message));
        return scheduleNext();
    }
    const AppMoveManifest &m = job->manifest;
    m_moved.removeIf([&m](const MovedApp &app) { return app.originalPath == m.originalPath; });
    if (job->direction == AppMoveDirection::ToNVMe)
        m_moved << MovedApp{m.bundleID,    m.originalPath,     m.nvmePath,
                            m.displayName, m.srcSizeKB * 1024, nowUtc()};
    saveLedger();
    updatePhase(id, AppMovePhase::Done);
    AppManifestStore::remove(id);
    scheduleNext();
}

void AppRelocator::saveLedger() {
    if (const std::optional<QString> error = MovedAppsLedger::save(m_moved))
        qWarning().noquote()
            << QStringLiteral("Quindle: failed to save the moved apps: %1").arg(*error);
    Q_EMIT movedChanged();
}

// ---- phases ---------------------------------------------------------------------------------

void AppRelocator::updatePhase(const QUuid &id, AppMovePhase to,
                               const std::optional<QString> &error,
                               const std::optional<QString> &status) {
    AppMoveJob *job = find(id);
    if (!job)
        return;
    const AppMovePhase from = job->manifest.phase;
    job->manifest.phase = to;
    job->manifest.updatedAt = nowUtc();
    if (error)
        job->manifest.lastError = error;
    if (status)
        job->manifest.statusMessage = status;
    if (to == AppMovePhase::Done) {
        job->manifest.completedAt = nowUtc();
        job->manifest.fractionAtLastWrite = 1;
    } else {
        job->manifest = AppManifestStore::write(job->manifest);
    }
    const QString key = job->manifest.appKey();
    if (isTerminal(to))
        m_ops.remove(key);
    else
        m_ops.insert(key, AppOp{key, status.value_or(rawValue(to) + QStringLiteral("…")),
                                m_ops.value(key, AppOp{key, {}, nowUtc()}).startedAt});
    if (from != to) {
        QString line = rawValue(from) + QStringLiteral(" → ") + rawValue(to);
        if (status)
            line += QStringLiteral(" · ") + *status;
        if (error)
            line += QStringLiteral(" · ERROR: ") + *error;
        log(Source::Phase, line, id);
        Q_EMIT phaseChanged(id, to);
    }
    Q_EMIT jobsChanged();
}

// ---- recovery, drive events, quitting -------------------------------------------------------

void AppRelocator::recoverPendingManifests() {
    if (m_stopped)
        return;
    bool added = false;
    for (const AppMoveManifest &manifest : AppManifestStore::loadAll()) {
        if (find(manifest.id))
            continue;
        m_jobs << AppMoveJob{manifest, manifest.inferredDirection()};
        added = true;
    }
    const std::optional<QString> current = currentDriveUUID();
    QList<QUuid> resumable;
    for (AppMoveJob &job : m_jobs)
        if (job.manifest.phase == AppMovePhase::WaitingForDrive && canResume(job, current))
            resumable << job.id();
    for (const QUuid &id : resumable)
        updatePhase(id, AppMovePhase::Copying);
    if (added)
        Q_EMIT jobsChanged();
    scheduleNext();
}

bool AppRelocator::canResume(AppMoveJob &job, const std::optional<QString> &current) {
    const AppMoveManifest &m = job.manifest;
    if (!QFileInfo::exists(m.nvmePath) && !QFileInfo::exists(drivesAppsFolder(m)))
        return false;
    if (!m.driveUUID || m.driveUUID == current)
        return true;
    updatePhase(job.id(), AppMovePhase::Failed,
                QStringLiteral("Destination drive UUID mismatch (manifest=%1, current=%2). "
                               "Refusing to resume.")
                    .arg(*m.driveUUID, current.value_or(QStringLiteral("unknown"))));
    return false;
}

void AppRelocator::stopWork(const QUuid &id) {
    if (StreamedProcess *process = m_processes.value(id)) {
        m_stoppedCopies.insert(process);
        process->terminate();
    }
    if (const auto task = m_tasks.constFind(id); task != m_tasks.cend()) {
        task->cancelled->store(true);
        m_tasks.erase(task);
    }
}

void AppRelocator::handleVolumeUnmounted(const QString &) {
    if (m_stopped)
        return;
    QList<QUuid> stranded;
    // A link step runs to its end either way: stopping it between the swap and the tidying would
    // leave the record behind the disk.
    for (const AppMoveJob &job : std::as_const(m_jobs))
        if (!isTerminal(job.manifest.phase) &&
            job.manifest.phase != AppMovePhase::WaitingForDrive &&
            job.manifest.phase != AppMovePhase::Linking &&
            !QFileInfo::exists(drivesAppsFolder(job.manifest)))
            stranded << job.id();
    for (const QUuid &id : stranded) {
        stopWork(id);
        updatePhase(id, AppMovePhase::WaitingForDrive, std::nullopt,
                    QStringLiteral("NVMe disappeared mid-move. Will resume on reconnect."));
    }
    scheduleNext();
}

void AppRelocator::stopForQuit() {
    if (m_stopped)
        return;
    m_stopped = true;
    for (StreamedProcess *process : std::as_const(m_processes)) {
        process->disconnect(this);
        delete process; // ends the child
    }
    m_processes.clear();
    m_stoppedCopies.clear();
    for (const Task &task : std::as_const(m_tasks))
        task.cancelled->store(true);
    m_tasks.clear();
    for (QFuture<void> &worker : m_workers)
        worker.waitForFinished();
    m_workers.clear();
}

} // namespace quindle
