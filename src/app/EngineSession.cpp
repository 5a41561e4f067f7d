#include "app/EngineSession.h"

#include "app/EngineLock.h"
#include "mover/RsyncSupport.h"
#include "platform/TerminationSignals.h"

#include <QEventLoop>

namespace quindle {

namespace {

bool settled(const MoveJob &job) {
    return isTerminal(job.manifest.phase) || job.manifest.phase == MovePhase::WaitingForDrive;
}

} // namespace

std::unique_ptr<EngineSession> EngineSession::open(QTextStream &err) {
    std::unique_ptr<QLockFile> lock = takeEngineLock();
    if (!lock) {
        err << engineLockHeldMessage() << '\n';
        return nullptr;
    }
    RsyncSupport::waitForProbe();
    return std::unique_ptr<EngineSession>(new EngineSession(std::move(lock)));
}

EngineSession::EngineSession(std::unique_ptr<QLockFile> lock)
    : m_lock(std::move(lock)) {
    mover = std::make_unique<LocalFolderMover>(log, settings, &volumes);
    apps = std::make_unique<AppRelocator>(log, &volumes);
    sleepGuard = std::make_unique<MoveSleepGuard>(*mover, sleepLock.newHolder());
    sleepGuard->watchAlso(apps.get(), &AppRelocator::jobsChanged,
                          [this] { return apps->movingNames(); });
    transfers = std::make_unique<SyncManager>(&volumes);
    transferSleepGuard = std::make_unique<TransferSleepGuard>(*transfers, sleepLock.newHolder());
    // Commands look the recorded moves up at once.
    QEventLoop loop;
    QObject::connect(mover.get(), &LocalFolderMover::recovered, &loop, &QEventLoop::quit);
    if (mover->isRecovering())
        loop.exec();
}

int EngineSession::runUntilSettled(const QList<QUuid> &ids, QTextStream &out, QTextStream &err) {
    QHash<QUuid, int> lastPercent;
    const auto printProgress = [&] {
        for (const QUuid &id : ids) {
            const std::optional<MoveJob> job = mover->job(id);
            if (!job || job->manifest.phase != MovePhase::Copying)
                continue;
            const int percent = static_cast<int>(job->manifest.fractionAtLastWrite * 100) / 10 * 10;
            if (percent != lastPercent.value(id, -1)) {
                lastPercent.insert(id, percent);
                out << "  copying " << uuidText(id).left(8) << " … " << percent << "%\n";
            }
        }
        out.flush();
    };
    const auto allSettled = [&] {
        for (const QUuid &id : ids)
            if (const std::optional<MoveJob> job = mover->job(id); job && !settled(*job))
                return false;
        return true;
    };
    return printUntil(ids, allSettled, printProgress, out, err);
}

int EngineSession::runAppsUntilSettled(const QList<QUuid> &ids, QTextStream &out,
                                       QTextStream &err) {
    const auto allSettled = [&] {
        for (const QUuid &id : ids)
            if (const std::optional<AppMoveJob> job = apps->job(id);
                job && !isTerminal(job->manifest.phase) &&
                job->manifest.phase != AppMovePhase::WaitingForDrive)
                return false;
        return true;
    };
    return printUntil(
        ids, allSettled, [] {}, out, err);
}

int EngineSession::printUntil(const QList<QUuid> &ids, const std::function<bool()> &settled,
                              const std::function<void()> &progress, QTextStream &out,
                              QTextStream &err) {
    const auto printLine = [&](const MoverLogLine &line) {
        if (line.source == MoverLogLine::Source::RsyncStdout)
            return; // file names and progress: summarised below
        if (!line.jobID || ids.contains(*line.jobID)) {
            out << line.rendered() << '\n';
            out.flush();
        }
    };
    for (const MoverLogLine &line : log.lines())
        printLine(line);
    progress();
    if (settled())
        return 0;

    int stoppedBy = 0;
    QEventLoop loop;
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::received, &loop, [&](int number) {
        stoppedBy = number;
        loop.quit();
    });
    QObject::connect(&log, &MoverLog::lineAppended, &loop, printLine);
    const auto check = [&] {
        progress();
        if (settled())
            loop.quit();
    };
    QObject::connect(mover.get(), &LocalFolderMover::jobsChanged, &loop, check);
    QObject::connect(apps.get(), &AppRelocator::jobsChanged, &loop, check);
    loop.exec();
    if (!stoppedBy)
        return 0;
    mover->stopForQuit();
    apps->stopForQuit();
    err << "Stopped; the move was left as it was and continues with `quindle resume`.\n";
    err.flush();
    return 128 + stoppedBy;
}

QString describeJob(const MoveJob &job) {
    const MoveManifest &m = job.manifest;
    QString line = QStringLiteral("%1  %2  %3 → %4")
                       .arg(uuidText(m.id), rawValue(m.phase).leftJustified(15), m.src, m.finalDst);
    if (m.lastError)
        line += QStringLiteral("  ") + *m.lastError;
    return line;
}

} // namespace quindle

namespace quindle {

QString describeAppJob(const AppMoveJob &job) {
    const AppMoveManifest &m = job.manifest;
    const bool out = job.direction == AppMoveDirection::ToNVMe;
    QString line = QStringLiteral("%1  %2  %3 → %4")
                       .arg(uuidText(m.id), rawValue(m.phase).leftJustified(15),
                            out ? m.originalPath : m.nvmePath, out ? m.nvmePath : m.originalPath);
    if (m.lastError)
        line += QStringLiteral("  ") + *m.lastError;
    return line;
}

} // namespace quindle
