#include "mover/LocalFolderMover.h"

#include "core/BackgroundPool.h"
#include "mover/MovePreflight.h"
#include "mover/MoverTexts.h"
#include "mover/ProcessRunner.h"
#include "mover/RsyncProgress.h"
#include "mover/RsyncSupport.h"
#include "platform/InstallHints.h"
#include "platform/ProgramLocations.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

using Source = MoverLogLine::Source;

// The copy step: the checks before it, the override removal and rsync itself.

void LocalFolderMover::startCopy(const QUuid &id) {
    const MoveJob *job = find(id);
    // Entering `copying` is announced first, and a listener may have parked the job meanwhile.
    if (!job || job->manifest.phase != MovePhase::Copying)
        return;
    const Task task = beginTask(m_prepTasks, id);
    runOnWorker(
        [m = job->manifest, cancelled = task.cancelled] {
            return preflightCopy(m, [cancelled] { return cancelled->load(); });
        },
        [this, id, serial = task.serial](const Preflight &result) {
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
                // Merging into what is there: every file is written again, so no stale one
                // survives.
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
    runOnWorker(
        [target] {
            return runProcessAsync(platform::rmExecutable(), {QStringLiteral("-rf"), target});
        },
        [this, id, serial = task.serial](int) {
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
    // rsync prints many progress lines a second: a change is announced only when it moves the
    // finest bar (a thousandth), and the manifest is written once per five percent crossed.
    const auto thousandths = [](double value) { return static_cast<int>(value * 1000); };
    const bool shownChanged =
        thousandths(*fraction) != thousandths(job->manifest.fractionAtLastWrite);
    job->manifest.fractionAtLastWrite = *fraction;
    const int step = static_cast<int>(*fraction * 100) / 5;
    if (step != m_lastWrittenProgressStep.value(id, -1)) {
        m_lastWrittenProgressStep.insert(id, step);
        persist(*job);
    }
    if (shownChanged)
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
        else if (QFileInfo::exists(job->manifest.dstParent))
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

} // namespace quindle
