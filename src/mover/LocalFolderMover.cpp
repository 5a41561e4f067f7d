#include "mover/LocalFolderMover.h"

#include "core/BackgroundPool.h"
#include "core/DriveIdentity.h"
#include "core/JsonFormat.h"
#include "core/NVMeMount.h"
#include "core/ServiceStatus.h"
#include "mover/ContentCheck.h"
#include "mover/ManifestStore.h"
#include "mover/MovePreflight.h"
#include "mover/PathOverlap.h"
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

EnqueueOutcome LocalFolderMover::enqueue(const QString &source, const QString &destinationParent,
                                         MoveConflictPolicy conflict, bool symlinkSourceAfter) {
    if (m_stopped)
        return {EnqueueOutcome::Kind::Refused, {}, QStringLiteral("Quindle is quitting.")};
    const QString src = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
    const QString dstParent = QDir::cleanPath(QFileInfo(destinationParent).absoluteFilePath());
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
        return {EnqueueOutcome::Kind::Enqueued, manifest.id, {}};
    }

    // A link that already leads to the destination, directly or through other links.
    if (const std::optional<QString> target = resolvedLinkTarget(src);
        target && *target == resolvedPath(finalDst)) {
        QString line;
        if (symlinkSourceAfter) {
            line = QStringLiteral("noop: %1 is already a symlink → %2; kept it, no transfer needed")
                       .arg(src, finalDst);
        } else {
            QFile::remove(src);
            line = QStringLiteral("noop: %1 was a symlink → %2; removed symlink, no transfer "
                                  "needed (would have rsynced data onto itself)")
                       .arg(src, finalDst);
        }
        log(Source::Info, line, QUuid::createUuid());
        return {EnqueueOutcome::Kind::AlreadyThere, {}, line};
    }
    if (const std::optional<QString> refusal = overlapRefusal(src, finalDst))
        return {EnqueueOutcome::Kind::Refused, {}, *refusal};

    if (nvmeRootOf(dstParent))
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
    return {EnqueueOutcome::Kind::Enqueued, id, {}};
}

void LocalFolderMover::cancel(const QUuid &id) {
    stopCopy(id);
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
    const EnqueueOutcome outcome =
        enqueue(manifest.finalDst, parent, MoveConflictPolicy::Merge, false);
    if (outcome.kind == EnqueueOutcome::Kind::Refused)
        return outcome.message;
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
    for (const QUuid &id : parked) {
        if (!canResume(id))
            continue;
        MoveJob *job = find(id);
        const bool cleanup = job->manifest.resumeCleanup;
        job->manifest.resumeCleanup = false;
        updatePhase(id, cleanup ? MovePhase::CleaningUp : MovePhase::Copying);
    }
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
        stopCopy(id);
        forgetTask(m_hashingTasks, id);
        forgetTask(m_verifyTasks, id);
        forgetTask(m_cleanupTasks, id);
        park(id,
             QStringLiteral("Destination drive disappeared mid-move. Will resume on reconnect."));
    }
    schedulingPass();
}

void LocalFolderMover::park(const QUuid &id, const QString &error) {
    MoveJob *job = find(id);
    if (!job)
        return;
    if (job->manifest.phase == MovePhase::CleaningUp)
        job->manifest.resumeCleanup = true;
    // The checks before a copy describe a drive that has gone; the next copy checks again.
    if (m_prepTasks.contains(id) && !m_prepTasks.value(id).survivesParking)
        forgetTask(m_prepTasks, id);
    updatePhase(id, MovePhase::WaitingForDrive, error);
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
    m_stoppedCopies.clear();
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
    const MoveJob *job = find(id);
    // Entering `copying` is announced first, and a listener may have parked the job meanwhile.
    if (!job || job->manifest.phase != MovePhase::Copying)
        return;
    const Task task = beginTask(m_prepTasks, id);
    QtConcurrent::run(blockingPool(), [m = job->manifest, cancelled = task.cancelled] {
        return preflightCopy(m, [cancelled] { return cancelled->load(); });
    }).then(this, [this, id, serial = task.serial](const Preflight &result) {
        MoveJob *job = currentFor(m_prepTasks, id, serial, MovePhase::Copying);
        if (!job)
            return schedulingPass();
        if (result.driveUUID && !job->manifest.driveUUID) {
            job->manifest.driveUUID = result.driveUUID;
            persist(*job);
        }
        switch (result.outcome) {
        case Preflight::Outcome::Cancelled:
            break;
        case Preflight::Outcome::Park:
            park(id, result.message);
            break;
        case Preflight::Outcome::Fail:
            updatePhase(id, MovePhase::Failed, result.message);
            break;
        case Preflight::Outcome::AlreadyThere:
            log(Source::Info, result.message, id);
            updatePhase(id, MovePhase::Done, std::nullopt, alreadyThereStatus());
            break;
        case Preflight::Outcome::Proceed:
            if (job->manifest.conflictPolicy == MoveConflictPolicy::Override &&
                result.destinationExists)
                return removeDestinationThenCopy(id);
            // Merging into what is there: every file is written again, so no stale one survives.
            launchRsync(id, result.destinationExists);
            return;
        }
        schedulingPass();
    });
}

void LocalFolderMover::removeDestinationThenCopy(const QUuid &id) {
    const QString target = find(id)->manifest.finalDst;
    log(Source::Command,
        formatCommandLine(platform::rmExecutable(), {QStringLiteral("-rf"), target}), id);
    updateStatus(id, QStringLiteral("Override: removing existing destination…"));
    const Task task = beginTask(m_prepTasks, id);
    m_prepTasks[id].survivesParking = true;
    QtConcurrent::run(blockingPool(), [target] {
        return runProcessAsync(platform::rmExecutable(), {QStringLiteral("-rf"), target});
    }).then(this, [this, id, serial = task.serial](int) {
        if (currentFor(m_prepTasks, id, serial, MovePhase::Copying))
            launchRsync(id, false);
        else
            schedulingPass();
    });
}

void LocalFolderMover::launchRsync(const QUuid &id, bool ignoreTimes) {
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
    const QStringList arguments =
        rsync->arguments(job->manifest.src, job->manifest.finalDst, false,
                         source.isDir() && !source.isSymLink(), ignoreTimes);
    log(Source::Command, formatCommandLine(rsync->executablePath, arguments), id);

    auto *process = new StreamedProcess(this);
    connect(process, &StreamedProcess::standardOutputLine, this,
            [this, id](const QString &line) { onRsyncLine(id, line, false); });
    connect(process, &StreamedProcess::standardErrorLine, this,
            [this, id](const QString &line) { onRsyncLine(id, line, true); });
    connect(process, &StreamedProcess::finished, this,
            [this, id, process](int status) { onRsyncExit(id, process, status); });
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
    // Written once per five percent crossed: rsync prints many lines per second.
    const int step = static_cast<int>(*fraction * 100) / 5;
    if (step != m_lastWrittenProgressStep.value(id, -1)) {
        m_lastWrittenProgressStep.insert(id, step);
        persist(*job);
    }
    Q_EMIT jobsChanged();
}

void LocalFolderMover::stopCopy(const QUuid &id) {
    if (StreamedProcess *process = m_processes.value(id)) {
        m_stoppedCopies.insert(process);
        process->terminate();
    }
}

void LocalFolderMover::onRsyncExit(const QUuid &id, StreamedProcess *process, int status) {
    m_processes.remove(id);
    process->deleteLater();
    m_lastWrittenProgressStep.remove(id);
    log(Source::Info, QStringLiteral("rsync exited with code %1").arg(status), id);
    // A copy stopped by a cancel or an unplug says nothing of the job, which may have been
    // resumed by now: its next copy starts only after this one has ended.
    const bool stopped = m_stoppedCopies.remove(process);
    const MoveJob *job = find(id);
    if (job && job->manifest.phase == MovePhase::Copying && !stopped) {
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
    const MoveManifest m = find(id)->manifest;
    const Task task = beginTask(m_hashingTasks, id);
    // A comparison of a tree with itself proves nothing: make sure these are two trees first.
    QtConcurrent::run(blockingPool(), [src = m.src, dst = m.finalDst] {
        return pathIsSymbolicLink(src) ? std::nullopt : overlapRefusal(src, dst);
    }).then(this, [this, id, serial = task.serial](const std::optional<QString> &refusal) {
        const MoveJob *job = currentFor(m_hashingTasks, id, serial, MovePhase::Hashing);
        if (!job)
            return schedulingPass();
        if (refusal) {
            updatePhase(id, MovePhase::Failed, *refusal);
            return schedulingPass();
        }
        switch (verificationLevel()) {
        case VerificationLevel::Off:
            updatePhase(id, MovePhase::CleaningUp, std::nullopt,
                        QStringLiteral("Verification disabled — proceeding to cleanup."));
            return schedulingPass();
        case VerificationLevel::Fast:
            return startQuickCompare(id);
        case VerificationLevel::Thorough:
            return startTreeHashes(id);
        }
    });
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
            const MoveJob *job = currentFor(m_hashingTasks, id, serial, MovePhase::Hashing);
            if (!job)
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
    const QString files = plural(differences.size(), "file");
    updateStatus(id, QStringLiteral("Stat diff on %1 — re-hashing.").arg(files));
    QStringList paths;
    for (const Difference &d : differences)
        paths << d.relativePath;
    const Task task = beginTask(m_hashingTasks, id);
    QtConcurrent::run(blockingPool(), [src = m.src, dst = m.finalDst, paths,
                                       cancelled = task.cancelled] {
        return filesDifferingInContent(src, dst, paths, [cancelled] { return cancelled->load(); });
    }).then(this, [this, id, files, serial = task.serial](const QStringList &mismatched) {
        if (currentFor(m_hashingTasks, id, serial, MovePhase::Hashing))
            reportContentCheck(
                id, mismatched,
                QStringLiteral("Verified (stat skew on %1, content matched).").arg(files));
        schedulingPass();
    });
}

void LocalFolderMover::compareEveryFile(const QUuid &id) {
    const MoveManifest m = find(id)->manifest;
    updateStatus(id, QStringLiteral("Comparing every file with its copy…"));
    const Task task = beginTask(m_hashingTasks, id);
    QtConcurrent::run(blockingPool(), [src = m.src, dst = m.finalDst, cancelled = task.cancelled] {
        const CancelCheck check = [cancelled] { return cancelled->load(); };
        const std::optional<QStringList> listing = listTree(src);
        // An unlisted source compares as one unknown difference: the root itself.
        return listing ? filesDifferingInContent(src, dst, *listing, check)
                       : QStringList{QString()};
    }).then(this, [this, id, serial = task.serial](const QStringList &mismatched) {
        if (currentFor(m_hashingTasks, id, serial, MovePhase::Hashing))
            reportContentCheck(id, mismatched, QStringLiteral("Every file matched its copy."));
        schedulingPass();
    });
}

void LocalFolderMover::reportContentCheck(const QUuid &id, const QStringList &mismatched,
                                          const QString &passedStatus) {
    if (mismatched.isEmpty()) {
        updatePhase(id, MovePhase::Verifying, std::nullopt, passedStatus);
        return;
    }
    const qsizetype m = mismatched.size();
    QStringList shown = mismatched.mid(0, 5);
    for (QString &path : shown)
        if (path.isEmpty()) // the root of a single-file move
            path = lastComponent(find(id)->manifest.src);
    QString list = shown.join(QStringLiteral(", "));
    if (m > 5)
        list += QStringLiteral(" (+ %1 more)").arg(m - 5);
    updatePhase(id, MovePhase::Failed,
                QStringLiteral("Verification failed — %1 differ: %2. Source preserved.")
                    .arg(plural(m, "file"), list));
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
            MoveJob *job = currentFor(m_hashingTasks, id, serial, MovePhase::Hashing);
            if (!job || cancelled->load())
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
            else if (m.conflictPolicy == MoveConflictPolicy::Merge &&
                     *hashes.source != *hashes.destination)
                // A merge target may hold other files too, so different digests prove nothing
                // either way: every source file is compared with its own copy instead.
                return compareEveryFile(id);
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
        const MoveJob *job = currentFor(m_verifyTasks, id, serial, MovePhase::Verifying);
        if (!job)
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

// A refusal from the checks before cleanup: the job parks or fails instead. True when refused.
bool LocalFolderMover::refusedCleanup(const QUuid &id, const Preflight &check) {
    if (check.outcome == Preflight::Outcome::Proceed)
        return false;
    if (check.outcome == Preflight::Outcome::Park)
        park(id, check.message);
    else
        updatePhase(id, MovePhase::Failed, check.message);
    return true;
}

void LocalFolderMover::startRemoveCleanup(const QUuid &id) {
    const MoveManifest m = find(id)->manifest;
    log(Source::Command,
        formatCommandLine(platform::rmExecutable(), {QStringLiteral("-rf"), m.src}), id);
    struct Removal {
        Preflight check;
        int status = -1;
    };
    const Task task = beginTask(m_cleanupTasks, id);
    QtConcurrent::run(blockingPool(), [m] {
        Removal removal{preflightCleanup(m)};
        if (removal.check.outcome == Preflight::Outcome::Proceed)
            removal.status =
                runProcessAsync(platform::rmExecutable(), {QStringLiteral("-rf"), m.src});
        return removal;
    }).then(this, [this, id, src = m.src, serial = task.serial](const Removal &removal) {
        if (!currentFor(m_cleanupTasks, id, serial, MovePhase::CleaningUp) ||
            refusedCleanup(id, removal.check))
            return schedulingPass();
        log(Source::Cleanup, QStringLiteral("rm exit %1 for %2").arg(removal.status).arg(src), id);
        if (removal.status == 0)
            updatePhase(id, MovePhase::Done);
        else
            updatePhase(id, MovePhase::Failed,
                        QStringLiteral("Cleanup of source failed (exit %1). Destination is valid; "
                                       "source still occupies disk space.")
                            .arg(removal.status));
        schedulingPass();
    });
}

void LocalFolderMover::startRelocateCleanup(const QUuid &id) {
    const MoveManifest m = find(id)->manifest;
    log(Source::Cleanup,
        QStringLiteral("relocate cleanup: walking %1 to replace files with symlinks → %2")
            .arg(m.src, m.finalDst),
        id);
    struct Relocation {
        Preflight check;
        RelocateResult result;
    };
    const Task task = beginTask(m_cleanupTasks, id);
    QtConcurrent::run(blockingPool(),
                      [m, cancelled = task.cancelled] {
                          Relocation relocation{preflightCleanup(m), {}};
                          if (relocation.check.outcome == Preflight::Outcome::Proceed)
                              relocation.result = relocateSourceAsFileSymlinks(
                                  m.src, m.finalDst, [cancelled] { return cancelled->load(); });
                          return relocation;
                      })
        .then(this, [this, id, finalDst = m.finalDst,
                     serial = task.serial](const Relocation &relocation) {
            if (!currentFor(m_cleanupTasks, id, serial, MovePhase::CleaningUp) ||
                refusedCleanup(id, relocation.check))
                return schedulingPass();
            const RelocateResult &result = relocation.result;
            log(Source::Cleanup,
                QStringLiteral(
                    "relocate %1 walk done: %2 relinked, %3 skipped (dirs/symlinks), %4 error(s)")
                    .arg(result.isSingleFile ? QStringLiteral("single-file")
                                             : QStringLiteral("tree"))
                    .arg(result.filesRelinked)
                    .arg(result.filesSkipped)
                    .arg(result.errorCount),
                id);
            if (result.errorCount == 0)
                updatePhase(id, MovePhase::Done);
            else
                updatePhase(
                    id, MovePhase::Failed,
                    QStringLiteral("Relocate cleanup partial: %1. Destination is valid at %2; "
                                   "some source files may not have been symlinked. Re-run "
                                   "Relocate to retry, or inspect the source tree manually.")
                        .arg(result.errorSummary.value_or(QString()), finalDst));
            schedulingPass();
        });
}

MoveJob *LocalFolderMover::currentFor(TaskMap &map, const QUuid &id, quint64 serial,
                                      MovePhase phase) {
    if (!finishTask(map, id, serial) || m_stopped)
        return nullptr;
    MoveJob *job = find(id);
    return job && job->manifest.phase == phase ? job : nullptr;
}

} // namespace quindle
