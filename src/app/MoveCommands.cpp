#include "app/CommandLine.h"
#include "app/EngineSession.h"

#include "mover/ManifestStore.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <variant>

namespace quindle {

namespace {

const char *const moveUsage = "Usage: quindle move <source> <destination-folder> "
                              "[--merge|--override] [--relocate] [--verify fast|thorough|off]\n";

int finish(EngineSession &session, const QUuid &id, QTextStream &out, QTextStream &err) {
    if (const int stopped = session.runUntilSettled({id}, out, err))
        return stopped;
    const std::optional<MoveJob> job = session.mover->job(id);
    if (!job)
        return 1;
    out << describeJob(*job) << '\n';
    out.flush();
    if (job->manifest.phase == MovePhase::Done)
        return 0;
    if (job->manifest.phase == MovePhase::WaitingForDrive)
        err << "The move is parked until its drive returns; run `quindle resume` then.\n";
    return 1;
}

struct MoveArguments {
    QString src, dstParent;
    MoveConflictPolicy policy = MoveConflictPolicy::Merge;
    bool relocate = false;
    std::optional<VerificationLevel> level;
};

// The request, or the message that ends the run with exit status 2.
std::variant<MoveArguments, QString> parseMove(const QStringList &arguments) {
    MoveArguments parsed;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--merge"))
            parsed.policy = MoveConflictPolicy::Merge;
        else if (argument == QLatin1String("--override"))
            parsed.policy = MoveConflictPolicy::Override;
        else if (argument == QLatin1String("--relocate"))
            parsed.relocate = true;
        else if (argument == QLatin1String("--verify")) {
            parsed.level = i + 1 < arguments.size() ? verificationLevelFromRaw(arguments.at(++i))
                                                    : std::nullopt;
            if (!parsed.level)
                return QStringLiteral("The verification level must be fast, thorough or off.\n");
        } else if (argument.startsWith(QLatin1Char('-')))
            return QStringLiteral("Unknown option “%1”.\n").arg(argument);
        else if (argument.isEmpty())
            return QStringLiteral("A path cannot be empty.\n");
        else
            positional << argument;
    }
    if (positional.size() != 2)
        return QString();
    parsed.src = positional.at(0);
    parsed.dstParent = positional.at(1);
    return parsed;
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
    const std::variant<MoveArguments, QString> parsed = parseMove(arguments);
    if (const QString *problem = std::get_if<QString>(&parsed)) {
        err << *problem << moveUsage;
        return 2;
    }
    const MoveArguments &request = std::get<MoveArguments>(parsed);
    const QFileInfo source(request.src);
    if (!source.exists() && !source.isSymLink()) {
        err << "There is nothing to move at " << source.absoluteFilePath() << ".\n";
        return 1;
    }

    const std::unique_ptr<EngineSession> session = EngineSession::open(err);
    if (!session)
        return 1;
    session->mover->setVerificationOverride(request.level);
    const EnqueueOutcome outcome =
        session->mover->enqueue(request.src, request.dstParent, request.policy, request.relocate);
    switch (outcome.kind) {
    case EnqueueOutcome::Kind::Refused:
        err << outcome.message << '\n';
        return 1;
    case EnqueueOutcome::Kind::AlreadyThere:
        for (const MoverLogLine &line : session->log.lines())
            out << line.rendered() << '\n';
        return 0;
    case EnqueueOutcome::Kind::Enqueued:
        break;
    }
    return finish(*session, outcome.job, out, err);
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
    QList<QUuid> ids, appIDs;
    for (const MoveJob &job : session->mover->jobs())
        ids << job.id();
    for (const AppMoveJob &job : session->apps->pendingJobs())
        appIDs << job.id();
    if (const int stopped = session->runUntilSettled(ids, out, err))
        return stopped;
    if (const int stopped = session->runAppsUntilSettled(appIDs, out, err))
        return stopped;
    int parked = 0;
    for (const MoveJob &job : session->mover->jobs()) {
        out << describeJob(job) << '\n';
        if (job.manifest.phase == MovePhase::WaitingForDrive)
            ++parked;
    }
    for (const AppMoveJob &job : session->apps->pendingJobs()) {
        out << describeAppJob(job) << '\n';
        if (job.manifest.phase == AppMovePhase::WaitingForDrive)
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
