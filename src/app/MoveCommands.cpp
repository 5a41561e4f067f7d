#include "app/CommandLine.h"
#include "app/EngineSession.h"

#include "mover/ManifestStore.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace quindle {

namespace {

QString absolute(const QString &path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

int finish(EngineSession &session, const QUuid &id, QTextStream &out, QTextStream &err) {
    session.runUntilSettled({id}, out);
    const std::optional<MoveJob> job = session.mover->job(id);
    if (!job)
        return 1;
    out << describeJob(*job) << '\n';
    if (job->manifest.phase == MovePhase::Done)
        return 0;
    if (job->manifest.phase == MovePhase::WaitingForDrive)
        err << "The move is parked until its drive returns; run `quindle resume` then.\n";
    return 1;
}

// The job that the last enqueue added, if it added one.
std::optional<QUuid> enqueued(const LocalFolderMover &mover, qsizetype countBefore) {
    if (mover.jobs().size() <= countBefore)
        return std::nullopt;
    return mover.jobs().last().id();
}

} // namespace

int runMove(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList positional;
    MoveConflictPolicy policy = MoveConflictPolicy::Merge;
    bool relocate = false;
    std::optional<VerificationLevel> level;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--merge"))
            policy = MoveConflictPolicy::Merge;
        else if (argument == QLatin1String("--override"))
            policy = MoveConflictPolicy::Override;
        else if (argument == QLatin1String("--relocate"))
            relocate = true;
        else if (argument == QLatin1String("--verify") && i + 1 < arguments.size()) {
            level = verificationLevelFromRaw(arguments.at(++i));
            if (!level) {
                err << "The verification level must be fast, thorough or off.\n";
                return 2;
            }
        } else if (argument.startsWith(QLatin1String("--"))) {
            err << "Unknown option “" << argument << "”.\n";
            return 2;
        } else
            positional << argument;
    }
    if (positional.size() != 2) {
        err << "Usage: quindle move <source> <destination-folder> [--merge|--override] "
               "[--relocate] "
               "[--verify fast|thorough|off]\n";
        return 2;
    }
    const QString src = absolute(positional.at(0));
    const QString dstParent = absolute(positional.at(1));
    if (!QFileInfo::exists(src) && !QFileInfo(src).isSymLink()) {
        err << "There is nothing to move at " << src << ".\n";
        return 1;
    }
    if (dstParent == src || dstParent.startsWith(src + QLatin1Char('/'))) {
        err << "A folder cannot be moved into itself.\n";
        return 1;
    }

    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    session->mover->setVerificationOverride(level);
    const qsizetype before = session->mover->jobs().size();
    session->mover->enqueue(src, dstParent, policy, relocate);
    const std::optional<QUuid> id = enqueued(*session->mover, before);
    if (!id) {
        for (const MoverLogLine &line : session->log.lines())
            out << line.rendered() << '\n';
        return 0; // the source was already a link to the destination
    }
    return finish(*session, *id, out, err);
}

int runMoves(const QStringList &) {
    QTextStream out(stdout);
    const QList<MoveManifest> manifests = ManifestStore::loadAll();
    if (manifests.isEmpty())
        out << "No moves recorded.\n";
    for (const MoveManifest &manifest : manifests)
        out << describeJob(MoveJob{manifest}) << '\n';
    return 0;
}

int runResume(const QStringList &) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    QList<QUuid> ids;
    for (const MoveJob &job : session->mover->jobs())
        ids << job.id();
    session->runUntilSettled(ids, out);
    int parked = 0;
    for (const MoveJob &job : session->mover->jobs()) {
        out << describeJob(job) << '\n';
        if (job.manifest.phase == MovePhase::WaitingForDrive)
            ++parked;
    }
    if (parked)
        out << parked << (parked == 1 ? " move waits" : " moves wait")
            << " for its drive; run `quindle resume` again once it is back.\n";
    return 0; // every move ended or is parked: resuming did what it could
}

int runRevert(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.size() != 1) {
        err << "Usage: quindle revert <move id>\n";
        return 2;
    }
    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    const QString wanted = arguments.first().toUpper();
    std::optional<MoveManifest> manifest;
    for (const MoveJob &job : session->mover->jobs())
        if (uuidText(job.id()) == wanted ||
            (wanted.size() >= 8 && uuidText(job.id()).startsWith(wanted)))
            manifest = job.manifest;
    if (!manifest) {
        err << "No recorded move has the id " << arguments.first() << ".\n";
        return 1;
    }
    const qsizetype before = session->mover->jobs().size();
    if (const std::optional<QString> refusal = session->mover->revert(*manifest)) {
        err << *refusal << '\n';
        return 1;
    }
    const std::optional<QUuid> id = enqueued(*session->mover, before);
    if (!id)
        return 1;
    out << "Revert enqueued — copying " << QFileInfo(manifest->finalDst).fileName() << " back to "
        << QFileInfo(manifest->src).path() << ".\n";
    return finish(*session, *id, out, err);
}

} // namespace quindle
