#include "mover/LocalFolderMover.h"

#include "core/BackgroundPool.h"
#include "core/DriveIdentity.h"
#include "core/JsonFormat.h"
#include "core/NVMeMount.h"
#include "mover/ManifestStore.h"
#include "mover/MoverTexts.h"
#include "mover/PathOverlap.h"
#include "mover/ProcessRunner.h"
#include "mover/RsyncSupport.h"
#include "platform/InstallHints.h"
#include "platform/VolumeWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

using Source = MoverLogLine::Source;

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
    recoverPendingManifests();
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

    runOnWorker([src] { return duKBAsync(src); },
                [this, id](std::optional<qint64> kb) {
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
    if (QFileInfo::exists(manifest.src))
        return QStringLiteral("Something already exists at the original source path %1. Move or "
                              "delete it before "
                              "reverting.")
            .arg(manifest.src);
    if (!QFileInfo::exists(manifest.finalDst))
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
    if (parent.isEmpty() || !QFileInfo::exists(parent))
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

struct LocalFolderMover::Recovery {
    QList<MoveManifest> manifests;
    std::optional<QString> driveUUID;
    QSet<QUuid> reachable; // parked moves whose destination folder exists again
};

void LocalFolderMover::recoverPendingManifests() {
    if (m_stopped)
        return;
    ++m_recoveries;
    runOnWorker(
        [] {
            Recovery recovery{ManifestStore::loadAll(), currentDriveUUID(), {}};
            for (const MoveManifest &manifest : std::as_const(recovery.manifests))
                if (manifest.phase == MovePhase::WaitingForDrive &&
                    QFileInfo::exists(manifest.dstParent))
                    recovery.reachable.insert(manifest.id);
            return recovery;
        },
        [this](const Recovery &recovery) {
            --m_recoveries;
            if (!m_stopped)
                applyRecovery(recovery);
            Q_EMIT recovered();
        });
}

void LocalFolderMover::applyRecovery(const Recovery &recovery) {
    bool added = false;
    for (const MoveManifest &manifest : recovery.manifests) {
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
        if (!canResume(id, recovery))
            continue;
        MoveJob *job = find(id);
        const bool cleanup = job->manifest.resumeCleanup;
        job->manifest.resumeCleanup = false;
        updatePhase(id, cleanup ? MovePhase::CleaningUp : MovePhase::Copying);
    }
    schedulingPass();
}

bool LocalFolderMover::canResume(const QUuid &id, const Recovery &recovery) {
    const MoveJob *job = find(id);
    // A move parked after this reading began is looked at again by the next one.
    if (!job || !recovery.reachable.contains(id))
        return false;
    if (!job->manifest.driveUUID)
        return true;
    const std::optional<QString> &current = recovery.driveUUID;
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

void LocalFolderMover::handleVolumeMounted(const QString &) {
    recoverPendingManifests();
}

void LocalFolderMover::handleVolumeUnmounted(const QString &) {
    if (m_stopped)
        return;
    QList<QUuid> stranded;
    for (const MoveJob &job : std::as_const(m_jobs))
        if (!isTerminal(job.manifest.phase) && job.manifest.phase != MovePhase::WaitingForDrive &&
            !QFileInfo::exists(job.manifest.dstParent))
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
    // Walks and hashes stop at their next entry; a removal or du runs to its end. Their results
    // are then dropped, as they would be for any job that moved on.
    for (QFuture<void> &worker : m_workers)
        worker.waitForFinished();
    m_workers.clear();
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

MoveJob *LocalFolderMover::currentFor(TaskMap &map, const QUuid &id, quint64 serial,
                                      MovePhase phase) {
    if (!finishTask(map, id, serial) || m_stopped)
        return nullptr;
    MoveJob *job = find(id);
    return job && job->manifest.phase == phase ? job : nullptr;
}

} // namespace quindle
