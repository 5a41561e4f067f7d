#include "mover/LocalFolderMover.h"

#include "core/BackgroundPool.h"
#include "mover/MovePreflight.h"
#include "mover/MoverTexts.h"
#include "mover/ProcessRunner.h"
#include "mover/RelocateWalk.h"
#include "platform/ProgramLocations.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

using Source = MoverLogLine::Source;

// The cleanup step: the source is removed, or its files are replaced by links to their copies.

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
    runOnWorker(
        [m] {
            Removal removal{preflightCleanup(m)};
            if (removal.check.outcome == Preflight::Outcome::Proceed)
                removal.status =
                    runProcessAsync(platform::rmExecutable(), {QStringLiteral("-rf"), m.src});
            return removal;
        },
        [this, id, src = m.src, serial = task.serial](const Removal &removal) {
            if (!currentFor(m_cleanupTasks, id, serial, MovePhase::CleaningUp) ||
                refusedCleanup(id, removal.check))
                return schedulingPass();
            log(Source::Cleanup, QStringLiteral("rm exit %1 for %2").arg(removal.status).arg(src),
                id);
            if (removal.status == 0)
                updatePhase(id, MovePhase::Done);
            else
                updatePhase(
                    id, MovePhase::Failed,
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
    runOnWorker(
        [m, cancelled = task.cancelled] {
            Relocation relocation{preflightCleanup(m), {}};
            if (relocation.check.outcome == Preflight::Outcome::Proceed)
                relocation.result = relocateSourceAsFileSymlinks(
                    m.src, m.finalDst, [cancelled] { return cancelled->load(); });
            return relocation;
        },
        [this, id, finalDst = m.finalDst, serial = task.serial](const Relocation &relocation) {
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

} // namespace quindle
