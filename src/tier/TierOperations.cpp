#include "tier/TierOperations.h"

#include "core/BackgroundPool.h"
#include "core/WhenFinished.h"
#include "mover/LocalFolderMover.h"
#include "mover/RsyncSupport.h"
#include "mover/SymlinkPaths.h"
#include "platform/InstallHints.h"
#include "tier/PairingModel.h"
#include "tier/TierListing.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace quindle {

namespace {

QString plural(qsizetype n, const QString &word) {
    return n == 1 ? word : word + QLatin1Char('s');
}

QString verb(MoveConflictPolicy policy, bool symlinkAfter) {
    if (symlinkAfter)
        return QStringLiteral("relocate (move + symlink at source)");
    return policy == MoveConflictPolicy::Override ? QStringLiteral("move (replace destination)")
                                                  : QStringLiteral("merge");
}

bool existsOrDangles(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// rclone moves files and leaves their folders behind. Once the move has completed, the folders
// it emptied go too; rmdir removes only an empty folder, so nothing that stayed is touched.
void removeEmptiedFolders(const QString &root) {
    if (!QFileInfo(root).isDir() || QFileInfo(root).isSymLink())
        return;
    QStringList folders{root};
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        folders << it.next();
    // Deepest first, so that a parent is empty once its children are gone.
    std::sort(folders.begin(), folders.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &folder : std::as_const(folders))
        QDir().rmdir(folder);
}

} // namespace

MoveConflictPolicy conflictPolicy(MoveAction action) {
    return action == MoveAction::Merge ? MoveConflictPolicy::Merge : MoveConflictPolicy::Override;
}

bool leavesLinks(MoveAction action) {
    return action == MoveAction::Relocate;
}

QString helpText(MoveAction action) {
    switch (action) {
    case MoveAction::Move:
        return QStringLiteral("replaces destination if it exists");
    case MoveAction::Merge:
        return QStringLiteral("merges directories — keeps extras already at destination");
    case MoveAction::Relocate:
        return QStringLiteral("replaces destination, then leaves a symlink at the original source "
                              "path so referers keep working");
    }
    return QString();
}

QString MoveConfirmRequest::title() const {
    return (symlinkAfter ? QStringLiteral("Relocate") : QStringLiteral("Move")) +
           QStringLiteral(": replace existing files at destination?");
}

QString MoveConfirmRequest::message() const {
    QStringList names;
    for (const QString &path : collisions)
        names << QStringLiteral("“%1”").arg(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    const QString count = QStringLiteral("%1%2 %3")
                              .arg(fileCountStopped ? QStringLiteral("at least ") : QString())
                              .arg(fileCountAtRisk)
                              .arg(plural(fileCountAtRisk, QStringLiteral("file")));
    return QStringLiteral("Items at the destination already exist and would be removed before "
                          "the source is copied across (%1): %2.")
        .arg(count, names.join(QStringLiteral(", ")));
}

TierOperations::TierOperations(PairingModel &pairing, LocalFolderMover &mover, QObject *parent)
    : QObject(parent)
    , m_pairing(pairing)
    , m_mover(mover) {
    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5 % early
    m_reloadTimer.setInterval(reloadDelayMs);
    connect(&m_reloadTimer, &QTimer::timeout, this, [this] {
        m_pairing.reload(Side::Left);
        m_pairing.reload(Side::Right);
    });
    connect(&m_mover, &LocalFolderMover::jobsChanged, this, &TierOperations::onJobsChanged);
}

std::optional<QString> TierOperations::arrowsDisabledReason() const {
    if (RsyncSupport::isReady() && !RsyncSupport::current())
        return QStringLiteral(
            "GNU rsync 3.x is required — see the red banner above for install instructions.");
    if (!m_pairing.isPaired())
        return PairingModel::movesNeedPairText();
    return std::nullopt;
}

TierOperations::Outcome TierOperations::move(Side from, Side to, MoveAction action) {
    const QString srcCurrent = m_pairing.path(from);
    QStringList gone;
    if (!isCloudPath(srcCurrent))
        for (const QString &name : m_pairing.selection(from))
            if (!existsOrDangles(srcCurrent + QLatin1Char('/') + name))
                gone << name;
    if (!gone.isEmpty()) {
        // A row for something that has moved meanwhile: list the folders again before acting.
        m_pairing.deselect(from, gone);
        m_reloadTimer.start();
        if (m_pairing.selection(from).isEmpty())
            return refuse(QStringLiteral("%1 is no longer in %2; the list was refreshed.")
                              .arg(gone.join(QStringLiteral(", ")), srcCurrent));
    }
    const QStringList movable =
        movableItems(srcCurrent, m_pairing.selection(from), m_pairing.appsRoots());
    if (movable.isEmpty())
        return refuse(noMovableItemsText());
    if (leavesLinks(action) &&
        (isCloudPath(m_pairing.path(Side::Left)) || isCloudPath(m_pairing.path(Side::Right))))
        return refuse(QStringLiteral("Relocate keeps a symlink at the source, which doesn't work "
                                     "for cloud destinations. Use Move or Merge instead."));
    if (!m_pairing.isPaired())
        return refuse(QStringLiteral("Pair the two panes first. Click the Pair button in the "
                                     "middle column once both sides point at folders with the "
                                     "same name."));
    const std::optional<QString> sourceRoot = m_pairing.pairRoot(from);
    if (!sourceRoot || !m_pairing.pairRoot(to)) {
        m_pairing.dropPair();
        return refuse(QStringLiteral("Pair state is inconsistent. Pair the panes again."));
    }
    if (!isWithin(srcCurrent, *sourceRoot)) {
        m_pairing.dropPair();
        return refuse(QStringLiteral("Source pane has navigated outside its pair root. Repaired "
                                     "— please pair again if you still want this transfer."));
    }
    const QString dstParent = m_pairing.destinationParent(from, srcCurrent).value_or(QString());
    if (pathsResolveSame(srcCurrent, dstParent))
        return refuse(QStringLiteral("Source and destination resolve to the same folder."));
    // rclone moves the files itself, merging into what is there: no links to drop, nothing to
    // count before.
    if (isCloudPath(srcCurrent) || isCloudPath(dstParent))
        return enqueueCloud(from, srcCurrent, dstParent, movable, conflictPolicy(action));

    MoveConfirmRequest request;
    request.id = QUuid::createUuid();
    request.from = from;
    request.to = to;
    request.policy = conflictPolicy(action);
    request.symlinkAfter = leavesLinks(action);
    request.srcCurrent = srcCurrent;
    request.dstParent = dstParent;
    for (const QString &name : movable) {
        const QString src = srcCurrent + QLatin1Char('/') + name;
        const std::optional<QString> target = resolveSymlinkTargetAbsolute(src);
        if (target && pathsResolveSame(*target, dstParent + QLatin1Char('/') + name)) {
            QFile::remove(src); // the data already lives at the destination
            request.skippedSymlinks << name;
        } else {
            request.chosen << name;
        }
    }
    m_pairing.deselect(from, request.skippedSymlinks);
    if (request.chosen.isEmpty()) {
        const qsizetype n = request.skippedSymlinks.size();
        Q_EMIT toastPosted(Toast{QStringLiteral("Removed %1 %2 already pointing at the "
                                                "destination — no data needed to move.")
                                     .arg(n)
                                     .arg(plural(n, QStringLiteral("source symlink"))),
                                 Tone::Success});
        m_reloadTimer.start();
        return Outcome::LinksRemoved;
    }

    for (const QString &name : std::as_const(request.chosen)) {
        const QString dst = dstParent + QLatin1Char('/') + name;
        if (existsOrDangles(dst))
            request.collisions << dst;
    }
    if (request.policy == MoveConflictPolicy::Override && !request.collisions.isEmpty()) {
        askAfterCounting(request);
        return Outcome::AwaitingConfirmation;
    }
    enqueue(request);
    return Outcome::Enqueued;
}

// Counting what a replace would remove walks up to fileCountLimit entries per destination: off
// the UI thread, and the question is put once the count is in.
void TierOperations::askAfterCounting(MoveConfirmRequest request) {
    m_counting = request.id;
    whenFinished(QtConcurrent::run(blockingPool(),
                                   [request]() mutable {
                                       for (const QString &dst :
                                            std::as_const(request.collisions)) {
                                           const int files = countFilesAtPath(dst);
                                           request.fileCountAtRisk += files;
                                           request.fileCountStopped =
                                               request.fileCountStopped || files >= fileCountLimit;
                                       }
                                       return request;
                                   }),
                 this, [this](const MoveConfirmRequest &counted) {
                     if (m_counting != counted.id)
                         return; // dismissed, or replaced by a newer request
                     m_counting = QUuid();
                     m_pending = counted;
                     Q_EMIT confirmationChanged();
                 });
}

void TierOperations::confirm() {
    if (!m_pending)
        return;
    const MoveConfirmRequest request = *m_pending;
    m_pending.reset();
    Q_EMIT confirmationChanged();
    enqueue(request);
}

void TierOperations::dismissConfirmation() {
    m_counting = QUuid();
    if (!m_pending)
        return;
    m_pending.reset();
    Q_EMIT confirmationChanged();
}

Toast TierOperations::revert(const MoveManifest &manifest) {
    Toast toast;
    if (const std::optional<QString> refusal = m_mover.revert(manifest)) {
        toast = Toast{*refusal, Tone::Warning};
    } else {
        toast = Toast{QStringLiteral("Revert enqueued — copying %1 back to %2.")
                          .arg(lastPathComponent(manifest.finalDst), parentPath(manifest.src)),
                      Tone::Success};
    }
    Q_EMIT toastPosted(toast);
    return toast;
}

QString TierOperations::emptyQueueText() {
    return QStringLiteral("No moves in progress.");
}

void TierOperations::setCloudMoves(CloudMoves *cloud) {
    if (m_cloud)
        disconnect(m_cloud, nullptr, this, nullptr);
    m_cloud = cloud;
    if (!m_cloud)
        return;
    // The source pane loses each file as it lands.
    connect(m_cloud, &CloudMoves::filesLanded, this, [this](const QUuid &id) {
        if (m_cloudTracked.contains(id) && !m_reloadTimer.isActive())
            m_reloadTimer.start();
    });
    connect(m_cloud, &CloudMoves::ended, this, &TierOperations::onCloudEnded);
}

TierOperations::Outcome TierOperations::enqueueCloud(Side from, const QString &srcCurrent,
                                                     const QString &dstParent,
                                                     const QStringList &names,
                                                     MoveConflictPolicy policy) {
    if (!m_cloud || !m_cloud->rcloneInstalled()) {
        const QString command = platform::installCommand(QStringLiteral("rclone"));
        Q_EMIT toastPosted(
            Toast{command.isEmpty()
                      ? QStringLiteral("rclone isn't installed — cloud transfers need it. Install "
                                       "rclone with your package manager.")
                      : QStringLiteral("rclone isn't installed — cloud transfers need it. Run: ") +
                            command,
                  Tone::Error});
        return Outcome::Refused;
    }
    qsizetype queued = 0;
    for (const QString &name : names) {
        const std::optional<QUuid> id = m_cloud->enqueueMove(
            childPath(srcCurrent, name), childPath(dstParent, name), cloudTransfers);
        if (!id)
            continue;
        m_cloudTracked.insert(*id, Tracked{from, srcCurrent, name});
        ++queued;
    }
    if (queued == 0)
        return refuse(QStringLiteral("Not added: the same transfer is already active."));
    Q_EMIT toastPosted(Toast{
        QStringLiteral("Queued %1 cloud %2 %3 to %4 — uploading in parallel. Source disappears "
                       "from the left pane as each file lands.")
            .arg(queued)
            .arg(policy == MoveConflictPolicy::Merge ? QStringLiteral("merge")
                                                     : QStringLiteral("move"),
                 plural(queued, QStringLiteral("transfer")), dstParent),
        Tone::Success});
    return Outcome::Enqueued;
}

void TierOperations::onCloudEnded(const QUuid &id, CloudMoves::End end) {
    const std::optional<Tracked> tracked =
        m_cloudTracked.contains(id) ? std::optional(m_cloudTracked.take(id)) : std::nullopt;
    if (!tracked)
        return;
    m_reloadTimer.start();
    switch (end) {
    case CloudMoves::End::Completed:
        if (!isCloudPath(tracked->folder))
            removeEmptiedFolders(tracked->folder + QLatin1Char('/') + tracked->name);
        if (m_pairing.path(tracked->side) == tracked->folder)
            m_pairing.deselect(tracked->side, {tracked->name});
        break;
    case CloudMoves::End::Failed:
        Q_EMIT toastPosted(Toast{QStringLiteral("Couldn't transfer %1. It's still in Transfers — "
                                                "fix the connection and click Retry there.")
                                     .arg(tracked->name),
                                 Tone::Error});
        break;
    case CloudMoves::End::Vanished:
        Q_EMIT toastPosted(
            Toast{QStringLiteral("rclone exited unexpectedly while moving %1.").arg(tracked->name),
                  Tone::Error});
        break;
    }
}

TierOperations::Outcome TierOperations::refuse(const QString &text) {
    Q_EMIT toastPosted(Toast{text, Tone::Warning});
    return Outcome::Refused;
}

void TierOperations::enqueue(const MoveConfirmRequest &request) {
    QStringList refusals;
    for (const QString &name : request.chosen) {
        const QString src = request.srcCurrent + QLatin1Char('/') + name;
        const EnqueueOutcome outcome =
            m_mover.enqueue(src, request.dstParent, request.policy, request.symlinkAfter);
        if (outcome.kind == EnqueueOutcome::Kind::Enqueued)
            m_tracked.insert(outcome.job, Tracked{request.from, request.srcCurrent, name});
        else if (outcome.kind == EnqueueOutcome::Kind::Refused)
            refusals << outcome.message;
    }
    const qsizetype n = request.chosen.size() - refusals.size();
    if (n == 0) {
        refuse(refusals.first());
        return;
    }
    const qsizetype existing = request.collisions.size();
    const qsizetype links = request.skippedSymlinks.size();
    QString text =
        QStringLiteral("Queued %1 %2 %3")
            .arg(n)
            .arg(verb(request.policy, request.symlinkAfter), plural(n, QStringLiteral("transfer")));
    if (existing > 0)
        text += QStringLiteral("; %1 had %2")
                    .arg(existing)
                    .arg(plural(existing, QStringLiteral("pre-existing destination")));
    if (links > 0)
        text += QStringLiteral("; also removed %1 %2 already pointing at the destination")
                    .arg(links)
                    .arg(plural(links, QStringLiteral("stale source symlink")));
    text += QStringLiteral(". Progress shown above.");
    if (!refusals.isEmpty())
        text += QStringLiteral(" Not queued: ") + refusals.join(QLatin1Char(' '));
    const bool replaced = request.policy == MoveConflictPolicy::Override && existing > 0;
    Q_EMIT toastPosted(
        Toast{text, replaced || !refusals.isEmpty() ? Tone::Warning : Tone::Success});
    onJobsChanged(); // a job may have finished or failed inside enqueue
}

void TierOperations::onJobsChanged() {
    for (auto it = m_tracked.begin(); it != m_tracked.end();) {
        const std::optional<MoveJob> job = m_mover.job(it.key());
        if (job && !isTerminal(job->manifest.phase)) {
            ++it;
            continue;
        }
        if (job && job->manifest.phase == MovePhase::Done && m_pairing.path(it->side) == it->folder)
            m_pairing.deselect(it->side, {it->name});
        if (job)
            announceEnd(job->manifest, it->name);
        it = m_tracked.erase(it);
    }
}

// Both panes list their folders again once a move ends, so no row stands for what has moved; a
// refusal found before copying, and a move that had nothing to copy, are said as a toast.
void TierOperations::announceEnd(const MoveManifest &manifest, const QString &name) {
    m_reloadTimer.start();
    if (manifest.phase == MovePhase::Failed && manifest.lastError)
        Q_EMIT toastPosted(Toast{name + QStringLiteral(": ") + *manifest.lastError, Tone::Warning});
    else if (manifest.phase == MovePhase::Done &&
             manifest.statusMessage == LocalFolderMover::alreadyThereStatus())
        Q_EMIT toastPosted(Toast{QStringLiteral("%1 was already on the destination; nothing was "
                                                "copied.")
                                     .arg(name),
                                 Tone::Success});
}

} // namespace quindle
