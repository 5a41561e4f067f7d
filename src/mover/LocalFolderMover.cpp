#include "mover/LocalFolderMover.h"

#include "core/BackgroundPool.h"
#include "core/DriveIdentity.h"
#include "core/JsonFormat.h"
#include "core/ServiceStatus.h"
#include "mover/ContentCheck.h"
#include "mover/ManifestStore.h"
#include "mover/ProcessRunner.h"
#include "mover/RelocateWalk.h"
#include "mover/RsyncProgress.h"
#include "mover/RsyncSupport.h"
#include "mover/SymlinkPaths.h"
#include "mover/TreeHasher.h"
#include "platform/InstallHints.h"
#include "platform/ProgramLocations.h"
#include "platform/VolumeLocations.h"
#include "platform/VolumeWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <filesystem>
#include <system_error>

namespace quindle {

using Source = MoverLogLine::Source;

namespace {

bool exists(const QString &path) {
    return QFileInfo::exists(path);
}

QString plural(qsizetype count, const char *word) {
    return QStringLiteral("%1 %2%3").arg(count).arg(QLatin1String(word)).arg(count == 1 ? "" : "s");
}

// The drive's mount path as the service reports it; empty when it reports none.
QString reportedNVMePath() {
    return StatusFileKeys::read().nvmePath.value_or(QString());
}

QString nvmePathOrDefault() {
    const QString path = reportedNVMePath();
    return path.isEmpty() ? platform::defaultNVMePath() : path;
}

bool isOnDrive(const QString &path, const QString &drive) {
    return !drive.isEmpty() && (path == drive || path.startsWith(drive + QLatin1Char('/')));
}

QString lastComponent(const QString &path) {
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

} // namespace

LocalFolderMover::LocalFolderMover(MoverLog &log, MoverSettings &settings,
                                   platform::VolumeWatcher *volumes, QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_settings(settings) {
    if (volumes) {
        connect(volumes, &platform::VolumeWatcher::volumeMounted, this,
                &LocalFolderMover::handleVolumeMounted);
        connect(volumes, &platform::VolumeWatcher::volumeUnmounted, this,
                &LocalFolderMover::handleVolumeUnmounted);
    }
    recoverPendingManifests(QStringLiteral("launch"));
}

LocalFolderMover::~LocalFolderMover() {
    stopForQuit();
}

std::optional<MoveJob> LocalFolderMover::job(const QUuid &id) const {
    for (const MoveJob &job : m_jobs)
        if (job.id() == id)
            return job;
    return std::nullopt;
}

MoveJob *LocalFolderMover::find(const QUuid &id) {
    for (MoveJob &job : m_jobs)
        if (job.id() == id)
            return &job;
    return nullptr;
}

int LocalFolderMover::runningCount() const {
    return static_cast<int>(m_processes.size() + m_prepTasks.size() + m_hashingTasks.size() +
                            m_verifyTasks.size() + m_cleanupTasks.size());
}

VerificationLevel LocalFolderMover::verificationLevel() const {
    return m_verificationOverride.value_or(m_settings.verificationLevel());
}

void LocalFolderMover::log(Source source, const QString &text, const QUuid &id) {
    m_log.append(source, text, id);
}

void LocalFolderMover::persist(MoveJob &job) {
    job.manifest = ManifestStore::write(job.manifest);
}

// ---- requests -------------------------------------------------------------------------------

void LocalFolderMover::enqueue(const QString &src, const QString &dstParent,
                               MoveConflictPolicy conflict, bool symlinkSourceAfter) {
    if (m_stopped)
        return;
    const QString finalDst = dstParent + QLatin1Char('/') + lastComponent(src);
    MoveManifest manifest;
    manifest.id = QUuid::createUuid();
    manifest.src = src;
    manifest.dstParent = dstParent;
    manifest.finalDst = finalDst;
    manifest.startedAt = nowUtc();
    manifest.updatedAt = manifest.startedAt;
    manifest.conflictPolicy = conflict;
    manifest.replaceSourceWithSymlink = symlinkSourceAfter;

    if (!RsyncSupport::current()) {
        manifest.phase = MovePhase::Failed;
        manifest.lastError =
            QStringLiteral("GNU rsync 3.x is required but not installed. %1, then click Reload "
                           "Probe on the Tier banner.")
                .arg(platform::runInstallInTerminal(QStringLiteral("rsync")));
        m_jobs << MoveJob{ManifestStore::write(manifest)};
        Q_EMIT jobsChanged();
        return;
    }

    if (const std::optional<QString> target = resolveSymlinkTargetAbsolute(src);
        target && pathsResolveSame(*target, finalDst)) {
        QFile::remove(src);
        log(Source::Info,
            QStringLiteral("noop: %1 was a symlink → %2; removed symlink, no transfer needed "
                           "(would have rsynced "
                           "data onto itself)")
                .arg(src, finalDst),
            QUuid::createUuid());
        return;
    }

    if (isOnDrive(dstParent, reportedNVMePath()))
        manifest.driveUUID = currentDriveUUID();
    m_jobs << MoveJob{ManifestStore::write(manifest)};
    Q_EMIT jobsChanged();
    const QUuid id = manifest.id;
    log(Source::Enqueue, QStringLiteral("enqueued: %1 → %2").arg(src, finalDst), id);

    QtConcurrent::run(blockingPool(), [src] {
        return duKBAsync(src);
    }).then(this, [this, id](std::optional<qint64> kb) {
        MoveJob *job = find(id);
        if (!kb || *kb < 1 || !job || job->manifest.srcSizeKB != 0)
            return;
        job->manifest.srcSizeKB = *kb;
        persist(*job);
        Q_EMIT jobsChanged();
    });
    schedulingPass();
}

void LocalFolderMover::cancel(const QUuid &id) {
    if (StreamedProcess *process = m_processes.value(id))
        process->terminate();
    forgetTask(m_hashingTasks, id);
    forgetTask(m_verifyTasks, id);
    forgetTask(m_cleanupTasks, id);
    if (MoveJob *job = find(id); job && !isTerminal(job->manifest.phase))
        updatePhase(id, MovePhase::Cancelled, QStringLiteral("Cancelled by user."));
    schedulingPass();
}

void LocalFolderMover::cancelAll() {
    QList<QUuid> active;
    for (const MoveJob &job : std::as_const(m_jobs))
        if (!isTerminal(job.manifest.phase))
            active << job.id();
    for (const QUuid &id : active)
        cancel(id);
}

void LocalFolderMover::pause() {
    if (m_paused)
        return;
    m_paused = true;
    Q_EMIT pausedChanged();
}

void LocalFolderMover::resume() {
    if (m_paused) {
        m_paused = false;
        Q_EMIT pausedChanged();
    }
    schedulingPass();
}

void LocalFolderMover::clearFinished() {
    const qsizetype before = m_jobs.size();
    m_jobs.removeIf([](const MoveJob &job) {
        if (!isTerminal(job.manifest.phase))
            return false;
        ManifestStore::remove(job.id());
        return true;
    });
    if (m_jobs.size() != before)
        Q_EMIT jobsChanged();
}

void LocalFolderMover::deleteManifest(const QUuid &id) {
    const MoveJob *job = find(id);
    if (!job) {
        ManifestStore::remove(id);
        return;
    }
    if (!isTerminal(job->manifest.phase))
        return;
    ManifestStore::remove(id);
    m_jobs.removeIf([&id](const MoveJob &candidate) { return candidate.id() == id; });
    Q_EMIT jobsChanged();
}

std::optional<QString> LocalFolderMover::revert(const MoveManifest &manifest) {
    if (manifest.phase != MovePhase::Done)
        return QStringLiteral("Only completed moves can be reverted (phase is %1).")
            .arg(rawValue(manifest.phase));
    if (exists(manifest.src))
        return QStringLiteral("Something already exists at the original source path %1. Move or "
                              "delete it before "
                              "reverting.")
            .arg(manifest.src);
    if (!exists(manifest.finalDst))
        return QStringLiteral("The destination %1 is gone — nothing to revert from.")
            .arg(manifest.finalDst);
    if (manifest.driveUUID) {
        const std::optional<QString> current = currentDriveUUID();
        if (current && *current != *manifest.driveUUID)
            return QStringLiteral("Destination drive UUID has changed (%1 vs %2). Refusing to "
                                  "revert across a drive "
                                  "swap.")
                .arg(*manifest.driveUUID, *current);
    }
    const QString parent = QFileInfo(QDir::cleanPath(manifest.src)).path();
    if (parent.isEmpty() || !exists(parent))
        return QStringLiteral("The original parent directory %1 no longer exists. Recreate it or "
                              "revert manually.")
            .arg(parent);
    enqueue(manifest.finalDst, parent, MoveConflictPolicy::Merge, false);
    return std::nullopt;
}

// ---- recovery and drive events --------------------------------------------------------------

void LocalFolderMover::recoverPendingManifests(const QString &) {
    if (m_stopped)
        return;
    bool added = false;
    for (const MoveManifest &manifest : ManifestStore::loadAll()) {
        if (find(manifest.id))
            continue;
        m_jobs << MoveJob{manifest};
        added = true;
    }
    if (added)
        Q_EMIT jobsChanged();
    QList<QUuid> parked;
    for (const MoveJob &job : std::as_const(m_jobs))
        if (job.manifest.phase == MovePhase::WaitingForDrive)
            parked << job.id();
    for (const QUuid &id : parked)
        if (canResume(id))
            updatePhase(id, MovePhase::Copying);
    schedulingPass();
}

bool LocalFolderMover::canResume(const QUuid &id) {
    const MoveJob *job = find(id);
    if (!job || !exists(job->manifest.dstParent))
        return false;
    if (!job->manifest.driveUUID)
        return true;
    const std::optional<QString> current = currentDriveUUID();
    if (!current)
        return false; // unknown is not a mismatch: wait until the drive can be identified
    if (*current == *job->manifest.driveUUID)
        return true;
    updatePhase(
        id, MovePhase::Failed,
        QStringLiteral(
            "Destination drive's volume UUID doesn't match the manifest (started against %1, "
            "currently mounted %2). Refusing to resume.")
            .arg(*job->manifest.driveUUID, *current));
    return false;
}

void LocalFolderMover::handleVolumeMounted(const QString &mountPoint) {
    recoverPendingManifests(QStringLiteral("mount of ") + mountPoint);
}

void LocalFolderMover::handleVolumeUnmounted(const QString &) {
    if (m_stopped)
        return;
    QList<QUuid> stranded;
    for (const MoveJob &job : std::as_const(m_jobs))
        if (!isTerminal(job.manifest.phase) && job.manifest.phase != MovePhase::WaitingForDrive &&
            !exists(job.manifest.dstParent))
            stranded << job.id();
    for (const QUuid &id : stranded) {
        if (StreamedProcess *process = m_processes.value(id))
            process->terminate();
        forgetTask(m_hashingTasks, id);
        updatePhase(
            id, MovePhase::WaitingForDrive,
            QStringLiteral("Destination drive disappeared mid-move. Will resume on reconnect."));
    }
    schedulingPass();
}

void LocalFolderMover::stopForQuit() {
    if (m_stopped)
        return;
    m_stopped = true;
    for (StreamedProcess *process : std::as_const(m_processes)) {
        process->disconnect(this);
        delete process; // ends the child
    }
    m_processes.clear();
    for (TaskMap *map : {&m_prepTasks, &m_hashingTasks, &m_verifyTasks, &m_cleanupTasks}) {
        for (const Task &task : std::as_const(*map))
            task.cancelled->store(true);
        map->clear();
    }
}

// ---- phases ---------------------------------------------------------------------------------

void LocalFolderMover::updatePhase(const QUuid &id, MovePhase to,
                                   const std::optional<QString> &error,
                                   const std::optional<QString> &status) {
    MoveJob *job = find(id);
    if (!job)
        return;
    const MovePhase from = job->manifest.phase;
    job->manifest.phase = to;
    job->manifest.lastError = error;
    job->manifest.statusMessage = status;
    if (to == MovePhase::Done) {
        job->manifest.completedAt = nowUtc();
        job->manifest.fractionAtLastWrite = 1;
    }
    persist(*job);
    if (from != to) {
        QString line = rawValue(from) + QStringLiteral(" → ") + rawValue(to);
        if (status)
            line += QStringLiteral(" · ") + *status;
        if (error)
            line += QStringLiteral(" · ERROR: ") + *error;
        log(Source::Phase, line, id);
    }
    Q_EMIT jobsChanged();
}

void LocalFolderMover::updateStatus(const QUuid &id, const QString &text) {
    if (MoveJob *job = find(id)) {
        job->manifest.statusMessage = text;
        Q_EMIT jobsChanged();
    }
}

// ---- scheduling -----------------------------------------------------------------------------

void LocalFolderMover::schedulingPass() {
    // Steps that fail at once end in a nested pass; the loop below already covers them.
    if (m_stopped || m_paused || m_inPass)
        return;
    m_inPass = true;
    while (runningCount() < m_settings.maxConcurrent() && startNext()) {
    }
    m_inPass = false;
}

// Moves already under way go first, so a started move is finished (and its source space freed)
// before a queued one takes the slot; an interrupted copy resumes before anything else.
bool LocalFolderMover::startNext() {
    const auto firstIn = [this](MovePhase phase, const auto &isFree) -> std::optional<QUuid> {
        for (const MoveJob &job : std::as_const(m_jobs))
            if (job.manifest.phase == phase && isFree(job.id()))
                return job.id();
        return std::nullopt;
    };
    const auto noCopyStep = [this](const QUuid &id) {
        return !m_processes.contains(id) && !m_prepTasks.contains(id);
    };
    if (auto id = firstIn(MovePhase::Copying, noCopyStep)) {
        startCopy(*id);
        return true;
    }
    if (auto id = firstIn(MovePhase::Hashing,
                          [this](const QUuid &id) { return !m_hashingTasks.contains(id); })) {
        startVerification(*id);
        return true;
    }
    if (auto id = firstIn(MovePhase::Verifying,
                          [this](const QUuid &id) { return !m_verifyTasks.contains(id); })) {
        startSizeCheck(*id);
        return true;
    }
    if (auto id = firstIn(MovePhase::CleaningUp,
                          [this](const QUuid &id) { return !m_cleanupTasks.contains(id); })) {
        startCleanup(*id);
        return true;
    }
    if (auto id = firstIn(MovePhase::Writing, noCopyStep)) {
        updatePhase(*id, MovePhase::Copying);
        startCopy(*id);
        return true;
    }
    return false;
}

LocalFolderMover::Task LocalFolderMover::beginTask(TaskMap &map, const QUuid &id) {
    Task task{m_nextSerial++, std::make_shared<std::atomic_bool>(false)};
    map.insert(id, task);
    return task;
}

bool LocalFolderMover::finishTask(TaskMap &map, const QUuid &id, quint64 serial) {
    const auto it = map.constFind(id);
    if (it == map.cend() || it->serial != serial)
        return false;
    map.erase(it);
    return true;
}

void LocalFolderMover::forgetTask(TaskMap &map, const QUuid &id) {
    if (const auto it = map.constFind(id); it != map.cend()) {
        it->cancelled->store(true);
        map.erase(it);
    }
}

// ---- copy -----------------------------------------------------------------------------------

void LocalFolderMover::startCopy(const QUuid &id) {
    MoveJob *job = find(id);
    if (!job)
        return;
    const MoveManifest m = job->manifest;
    if (m.driveUUID) {
        const std::optional<QString> current = currentDriveUUID();
        if (current && *current != *m.driveUUID) {
            updatePhase(id, MovePhase::Failed,
                        QStringLiteral(
                            "Destination drive UUID mismatch (%1 vs %2). Refusing to write into a "
                            "different drive.")
                            .arg(*m.driveUUID, *current));
            return;
        }
        if (!exists(nvmePathOrDefault())) {
            updatePhase(id, MovePhase::WaitingForDrive, QStringLiteral("NVMe drive not mounted."));
            return;
        }
    }

    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(m.dstParent).toStdString(), error);
    if (error) {
        const QString drive = reportedNVMePath();
        if (m.driveUUID && !drive.isEmpty() && !exists(drive))
            updatePhase(id, MovePhase::WaitingForDrive,
                        QStringLiteral("NVMe drive disconnected while preparing destination."));
        else
            updatePhase(id, MovePhase::Failed,
                        QStringLiteral("Could not create destination parent %1: %2")
                            .arg(m.dstParent, QString::fromLocal8Bit(error.message().c_str())));
        return;
    }
    if (!QFileInfo(m.dstParent).isDir()) {
        updatePhase(
            id, MovePhase::Failed,
            QStringLiteral(
                "Destination parent %1 doesn't exist after createDirectory succeeded — refusing "
                "to spawn rsync.")
                .arg(m.dstParent));
        return;
    }

    if (m.conflictPolicy == MoveConflictPolicy::Override &&
        (exists(m.finalDst) || pathIsSymbolicLink(m.finalDst))) {
        log(Source::Command,
            formatCommandLine(platform::rmExecutable(), {QStringLiteral("-rf"), m.finalDst}), id);
        updateStatus(id, QStringLiteral("Override: removing existing destination…"));
        const Task task = beginTask(m_prepTasks, id);
        const QString target = m.finalDst;
        QtConcurrent::run(blockingPool(), [target] {
            return runProcessAsync(platform::rmExecutable(), {QStringLiteral("-rf"), target});
        }).then(this, [this, id, serial = task.serial](int) {
            if (!finishTask(m_prepTasks, id, serial) || m_stopped)
                return;
            const MoveJob *current = find(id);
            if (current && current->manifest.phase == MovePhase::Copying)
                launchRsync(id);
            else
                schedulingPass();
        });
        return;
    }
    launchRsync(id);
}

void LocalFolderMover::launchRsync(const QUuid &id) {
    MoveJob *job = find(id);
    if (!job)
        return;
    const std::optional<RsyncSupport> rsync = RsyncSupport::current();
    if (!rsync) {
        updatePhase(id, MovePhase::Failed,
                    QStringLiteral("GNU rsync 3.x not available. Install via %1 and retry.")
                        .arg(platform::viaPackageManager(QStringLiteral("rsync"))));
        schedulingPass();
        return;
    }
    const QFileInfo source(job->manifest.src);
    const QStringList arguments = rsync->arguments(job->manifest.src, job->manifest.finalDst, false,
                                                   source.isDir() && !source.isSymLink());
    log(Source::Command, formatCommandLine(rsync->executablePath, arguments), id);

    auto *process = new StreamedProcess(this);
    connect(process, &StreamedProcess::standardOutputLine, this,
            [this, id](const QString &line) { onRsyncLine(id, line, false); });
    connect(process, &StreamedProcess::standardErrorLine, this,
            [this, id](const QString &line) { onRsyncLine(id, line, true); });
    connect(process, &StreamedProcess::finished, this,
            [this, id](int status) { onRsyncExit(id, status); });
    if (!process->start(rsync->executablePath, arguments)) {
        const QString reason = process->errorString();
        process->disconnect(this);
        process->deleteLater();
        log(Source::RsyncStderr, QStringLiteral("failed to spawn rsync: ") + reason, id);
        updatePhase(id, MovePhase::Failed, QStringLiteral("Failed to start rsync: ") + reason);
        schedulingPass();
        return;
    }
    m_processes.insert(id, process);
    m_lastWrittenProgressStep.remove(id);
    log(Source::Info, QStringLiteral("rsync started (pid %1)").arg(process->pid()), id);
}

void LocalFolderMover::onRsyncLine(const QUuid &id, const QString &line, bool standardError) {
    if (standardError) {
        log(Source::RsyncStderr, line, id);
        return;
    }
    log(Source::RsyncStdout, line, id);
    const std::optional<double> fraction = parseRsyncProgress(line);
    MoveJob *job = find(id);
    if (!fraction || !job)
        return;
    job->manifest.fractionAtLastWrite = *fraction;
    // Written once per five percent: rsync prints many lines per second.
    const int percent = static_cast<int>(*fraction * 100);
    if (percent % 5 == 0 && m_lastWrittenProgressStep.value(id, -1) != percent) {
        m_lastWrittenProgressStep.insert(id, percent);
        persist(*job);
    }
    Q_EMIT jobsChanged();
}

void LocalFolderMover::onRsyncExit(const QUuid &id, int status) {
    if (StreamedProcess *process = m_processes.take(id))
        process->deleteLater();
    m_lastWrittenProgressStep.remove(id);
    log(Source::Info, QStringLiteral("rsync exited with code %1").arg(status), id);
    const MoveJob *job = find(id);
    if (job && job->manifest.phase == MovePhase::Copying) {
        if (status == 0)
            updatePhase(id, MovePhase::Hashing, std::nullopt,
                        QStringLiteral("Hashing source + destination for integrity check…"));
        else if (exists(job->manifest.dstParent))
            updatePhase(id, MovePhase::Failed,
                        QStringLiteral("rsync exited with code %1. Source preserved.").arg(status));
        else
            updatePhase(
                id, MovePhase::WaitingForDrive,
                QStringLiteral(
                    "Destination drive disconnected during copy. Will resume on reconnect."));
    }
    schedulingPass();
}

// ---- verification ---------------------------------------------------------------------------

void LocalFolderMover::startVerification(const QUuid &id) {
    switch (verificationLevel()) {
    case VerificationLevel::Off:
        updatePhase(id, MovePhase::CleaningUp, std::nullopt,
                    QStringLiteral("Verification disabled — proceeding to cleanup."));
        return;
    case VerificationLevel::Fast:
        startQuickCompare(id);
        return;
    case VerificationLevel::Thorough:
        startTreeHashes(id);
        return;
    }
}

void LocalFolderMover::startQuickCompare(const QUuid &id) {
    const MoveManifest m = find(id)->manifest;
    updateStatus(id, QStringLiteral("Quick-comparing source + destination…"));
    const Task task = beginTask(m_hashingTasks, id);
    QtConcurrent::run(blockingPool(),
                      [src = m.src, dst = m.finalDst, cancelled = task.cancelled] {
                          return TreeQuickCompare::diff(src, dst,
                                                        [cancelled] { return cancelled->load(); });
                      })
        .then(this, [this, id,
                     serial = task.serial](const std::optional<QList<Difference>> &differences) {
            if (!finishTask(m_hashingTasks, id, serial))
                return schedulingPass();
            const MoveJob *job = find(id);
            if (!job || job->manifest.phase != MovePhase::Hashing)
                return schedulingPass();
            const MoveManifest &m = job->manifest;
            if (!differences) {
                if (!exists(m.dstParent) || !exists(m.finalDst))
                    updatePhase(
                        id, MovePhase::WaitingForDrive,
                        QStringLiteral(
                            "Destination drive disappeared during verification. Will resume on "
                            "reconnect."));
                else
                    updatePhase(id, MovePhase::Failed,
                                QStringLiteral(
                                    "Verification walk failed (permission or read error). Source "
                                    "preserved."));
                return schedulingPass();
            }
            QList<Difference> remaining = *differences;
            if (m.conflictPolicy == MoveConflictPolicy::Merge)
                remaining.removeIf([](const Difference &d) {
                    return d.reason.kind == DiffReason::Kind::ExtraOnDest;
                });
            if (remaining.isEmpty()) {
                updatePhase(id, MovePhase::Verifying, std::nullopt,
                            QStringLiteral("Quick verify passed — proceeding."));
                return schedulingPass();
            }
            checkStatDifferences(id, remaining);
        });
}

void LocalFolderMover::checkStatDifferences(const QUuid &id, const QList<Difference> &differences) {
    const MoveManifest m = find(id)->manifest;
    const qsizetype n = differences.size();
    updateStatus(id, QStringLiteral("Stat diff on %1 — re-hashing.").arg(plural(n, "file")));
    const Task task = beginTask(m_hashingTasks, id);
    QtConcurrent::run(blockingPool(), [src = m.src, dst = m.finalDst, differences,
                                       cancelled = task.cancelled] {
        QStringList mismatched;
        for (const Difference &d : differences) {
            if (cancelled->load())
                break;
            if (!filesMatchByContent(entryPath(src, d.relativePath),
                                     entryPath(dst, d.relativePath)))
                mismatched << d.relativePath;
        }
        return mismatched;
    }).then(this, [this, id, n, serial = task.serial](const QStringList &mismatched) {
        if (!finishTask(m_hashingTasks, id, serial))
            return schedulingPass();
        const MoveJob *job = find(id);
        if (!job || job->manifest.phase != MovePhase::Hashing)
            return schedulingPass();
        if (mismatched.isEmpty()) {
            updatePhase(id, MovePhase::Verifying, std::nullopt,
                        QStringLiteral("Verified (stat skew on %1, content matched).")
                            .arg(plural(n, "file")));
            return schedulingPass();
        }
        const qsizetype m = mismatched.size();
        QString list = mismatched.mid(0, 5).join(QStringLiteral(", "));
        if (m > 5)
            list += QStringLiteral(" (+ %1 more)").arg(m - 5);
        updatePhase(id, MovePhase::Failed,
                    QStringLiteral("Verification failed — %1 differ: %2. Source preserved.")
                        .arg(plural(m, "file"), list));
        schedulingPass();
    });
}

void LocalFolderMover::startTreeHashes(const QUuid &id) {
    const MoveManifest m = find(id)->manifest;
    const Task task = beginTask(m_hashingTasks, id);
    // Progress arrives on the worker; hop to this thread and publish only whole-percent changes.
    const auto reporter = [this, id, serial = task.serial](const QString &prefix) {
        return [this, id, serial, prefix, last = -1](qint64 done, qint64 total) mutable {
            const int percent =
                total > 0 ? static_cast<int>(std::min<qint64>(done * 100 / total, 99)) : 0;
            if (percent == last)
                return;
            last = percent;
            QMetaObject::invokeMethod(
                this,
                [this, id, serial, text = prefix + QString::number(percent) + QLatin1Char('%')] {
                    const auto it = m_hashingTasks.constFind(id);
                    const MoveJob *job = find(id);
                    if (it != m_hashingTasks.cend() && it->serial == serial && job &&
                        job->manifest.phase == MovePhase::Hashing)
                        updateStatus(id, text);
                },
                Qt::QueuedConnection);
        };
    };
    struct Hashes {
        std::optional<QString> source, destination;
    };
    QtConcurrent::run(blockingPool(),
                      [src = m.src, dst = m.finalDst, cancelled = task.cancelled,
                       sourceProgress = reporter(QStringLiteral("Hashing source — ")),
                       destinationProgress = reporter(QStringLiteral("Hashing destination — "))] {
                          const CancelCheck check = [cancelled] { return cancelled->load(); };
                          Hashes hashes;
                          hashes.source = TreeHasher::hash(src, sourceProgress, check);
                          if (hashes.source)
                              hashes.destination =
                                  TreeHasher::hash(dst, destinationProgress, check);
                          return hashes;
                      })
        .then(this, [this, id, serial = task.serial,
                     cancelled = task.cancelled](const Hashes &hashes) {
            if (!finishTask(m_hashingTasks, id, serial) || cancelled->load())
                return schedulingPass();
            MoveJob *job = find(id);
            if (!job || job->manifest.phase != MovePhase::Hashing)
                return schedulingPass();
            job->manifest.srcContentHash = hashes.source;
            job->manifest.dstContentHash = hashes.destination;
            persist(*job);
            const MoveManifest &m = job->manifest;
            if (!hashes.source)
                updatePhase(
                    id, MovePhase::Failed,
                    QStringLiteral(
                        "Could not hash source — file vanished or read error. Source may have been "
                        "moved or modified during the operation."));
            else if (!hashes.destination && exists(m.dstParent) && exists(m.finalDst))
                updatePhase(
                    id, MovePhase::Failed,
                    QStringLiteral(
                        "Could not hash destination — read error on a reachable drive. Source "
                        "preserved."));
            else if (!hashes.destination)
                updatePhase(
                    id, MovePhase::WaitingForDrive,
                    QStringLiteral(
                        "Destination drive disappeared during integrity hash. Will resume on "
                        "reconnect."));
            else
                updatePhase(id, MovePhase::Verifying);
            schedulingPass();
        });
}

void LocalFolderMover::startSizeCheck(const QUuid &id) {
    const MoveManifest m = find(id)->manifest;
    const Task task = beginTask(m_verifyTasks, id);
    QtConcurrent::run(blockingPool(), [m] {
        return sizesMatchAsync(m.src, m.finalDst, m.srcSizeKB, m.conflictPolicy);
    }).then(this, [this, id, serial = task.serial](bool sizesMatch) {
        if (!finishTask(m_verifyTasks, id, serial))
            return schedulingPass();
        const MoveJob *job = find(id);
        if (!job || job->manifest.phase != MovePhase::Verifying)
            return schedulingPass();
        const MoveManifest &m = job->manifest;
        if (!sizesMatch)
            updatePhase(id, MovePhase::Failed,
                        QStringLiteral("Post-copy size sanity check failed. Source preserved."));
        else if (m.conflictPolicy == MoveConflictPolicy::Override && m.srcContentHash &&
                 m.dstContentHash && *m.srcContentHash != *m.dstContentHash)
            updatePhase(
                id, MovePhase::Failed,
                QStringLiteral(
                    "Content hash mismatch — destination doesn't match source byte-for-byte. "
                    "Source preserved. Hashes: src=%1 dst=%2")
                    .arg(m.srcContentHash->left(12), m.dstContentHash->left(12)));
        else
            updatePhase(id, MovePhase::CleaningUp);
        schedulingPass();
    });
}

// ---- cleanup --------------------------------------------------------------------------------

void LocalFolderMover::startCleanup(const QUuid &id) {
    if (find(id)->manifest.replaceSourceWithSymlink)
        startRelocateCleanup(id);
    else
        startRemoveCleanup(id);
}

void LocalFolderMover::startRemoveCleanup(const QUuid &id) {
    const QString src = find(id)->manifest.src;
    log(Source::Command, formatCommandLine(platform::rmExecutable(), {QStringLiteral("-rf"), src}),
        id);
    const Task task = beginTask(m_cleanupTasks, id);
    QtConcurrent::run(blockingPool(), [src] {
        return runProcessAsync(platform::rmExecutable(), {QStringLiteral("-rf"), src});
    }).then(this, [this, id, src, serial = task.serial](int status) {
        if (!finishTask(m_cleanupTasks, id, serial))
            return schedulingPass();
        log(Source::Cleanup, QStringLiteral("rm exit %1 for %2").arg(status).arg(src), id);
        const MoveJob *job = find(id);
        if (job && job->manifest.phase == MovePhase::CleaningUp) {
            if (status == 0)
                updatePhase(id, MovePhase::Done);
            else
                updatePhase(
                    id, MovePhase::Failed,
                    QStringLiteral(
                        "Cleanup of source failed (exit %1). Destination is valid; source still "
                        "occupies disk space.")
                        .arg(status));
        }
        schedulingPass();
    });
}

void LocalFolderMover::startRelocateCleanup(const QUuid &id) {
    const MoveManifest m = find(id)->manifest;
    log(Source::Cleanup,
        QStringLiteral("relocate cleanup: walking %1 to replace files with symlinks → %2")
            .arg(m.src, m.finalDst),
        id);
    const Task task = beginTask(m_cleanupTasks, id);
    QtConcurrent::run(blockingPool(),
                      [m] { return relocateSourceAsFileSymlinks(m.src, m.finalDst); })
        .then(this, [this, id, finalDst = m.finalDst,
                     serial = task.serial](const RelocateResult &result) {
            if (!finishTask(m_cleanupTasks, id, serial))
                return schedulingPass();
            log(Source::Cleanup,
                QStringLiteral(
                    "relocate %1 walk done: %2 relinked, %3 skipped (dirs/symlinks), %4 error(s)")
                    .arg(result.isSingleFile ? QStringLiteral("single-file")
                                             : QStringLiteral("tree"))
                    .arg(result.filesRelinked)
                    .arg(result.filesSkipped)
                    .arg(result.errorCount),
                id);
            const MoveJob *job = find(id);
            if (job && job->manifest.phase == MovePhase::CleaningUp) {
                if (result.errorCount == 0)
                    updatePhase(id, MovePhase::Done);
                else
                    updatePhase(
                        id, MovePhase::Failed,
                        QStringLiteral(
                            "Relocate cleanup partial: %1. Destination is valid at %2; some source "
                            "files may not have been symlinked. Re-run Relocate to retry, or "
                            "inspect the source tree manually.")
                            .arg(result.errorSummary.value_or(QString()), finalDst));
            }
            schedulingPass();
        });
}

} // namespace quindle
