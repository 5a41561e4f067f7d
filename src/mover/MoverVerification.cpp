#include "mover/LocalFolderMover.h"

#include "core/BackgroundPool.h"
#include "mover/ContentCheck.h"
#include "mover/MoverTexts.h"
#include "mover/PathOverlap.h"
#include "mover/SymlinkPaths.h"
#include "mover/TreeHasher.h"
#include "mover/TreeQuickCompare.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

using Source = MoverLogLine::Source;

// The verification steps: proving the copy before the source is touched.

void LocalFolderMover::startVerification(const QUuid &id) {
    const MoveManifest m = find(id)->manifest;
    const Task task = beginTask(m_hashingTasks, id);
    // A comparison of a tree with itself proves nothing: make sure these are two trees first.
    runOnWorker(
        [src = m.src, dst = m.finalDst] {
            return pathIsSymbolicLink(src) ? std::nullopt : overlapRefusal(src, dst);
        },
        [this, id, serial = task.serial](const std::optional<QString> &refusal) {
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
    runOnWorker(
        [src = m.src, dst = m.finalDst, cancelled = task.cancelled] {
            return TreeQuickCompare::diff(src, dst, [cancelled] { return cancelled->load(); });
        },
        [this, id, serial = task.serial](const std::optional<QList<Difference>> &differences) {
            const MoveJob *job = currentFor(m_hashingTasks, id, serial, MovePhase::Hashing);
            if (!job)
                return schedulingPass();
            const MoveManifest &m = job->manifest;
            if (!differences) {
                if (!QFileInfo::exists(m.dstParent) || !QFileInfo::exists(m.finalDst))
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
    runOnWorker(
        [src = m.src, dst = m.finalDst, paths, cancelled = task.cancelled] {
            return filesDifferingInContent(src, dst, paths,
                                           [cancelled] { return cancelled->load(); });
        },
        [this, id, files, serial = task.serial](const QStringList &mismatched) {
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
    runOnWorker(
        [src = m.src, dst = m.finalDst, cancelled = task.cancelled] {
            const CancelCheck check = [cancelled] { return cancelled->load(); };
            const std::optional<QStringList> listing = listTree(src);
            // An unlisted source compares as one unknown difference: the root itself.
            return listing ? filesDifferingInContent(src, dst, *listing, check)
                           : QStringList{QString()};
        },
        [this, id, serial = task.serial](const QStringList &mismatched) {
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
    runOnWorker(
        [src = m.src, dst = m.finalDst, cancelled = task.cancelled,
         sourceProgress = reporter(QStringLiteral("Hashing source — ")),
         destinationProgress = reporter(QStringLiteral("Hashing destination — "))] {
            return TreeHasher::hashBoth(src, dst, sourceProgress, destinationProgress,
                                        [cancelled] { return cancelled->load(); });
        },
        [this, id, serial = task.serial,
         cancelled = task.cancelled](const TreeHasher::Pair &hashes) {
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
            else if (!hashes.destination && QFileInfo::exists(m.dstParent) &&
                     QFileInfo::exists(m.finalDst))
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
    runOnWorker(
        [m] { return sizesMatchAsync(m.src, m.finalDst, m.srcSizeKB, m.conflictPolicy); },
        [this, id, serial = task.serial](bool sizesMatch) {
            const MoveJob *job = currentFor(m_verifyTasks, id, serial, MovePhase::Verifying);
            if (!job)
                return schedulingPass();
            const MoveManifest &m = job->manifest;
            if (!sizesMatch)
                updatePhase(
                    id, MovePhase::Failed,
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

} // namespace quindle
