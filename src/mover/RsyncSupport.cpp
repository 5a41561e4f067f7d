#include "mover/RsyncSupport.h"

#include "core/WhenFinished.h"
#include "platform/ChildProcess.h"
#include "platform/ProgramLocations.h"

#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

namespace {

struct ProbeState {
    QMutex lock;
    std::optional<RsyncSupport> probed;
    bool started = false;
    bool finished = false;
    QFuture<void> firstProbe;
};

ProbeState &state() {
    static ProbeState instance;
    return instance;
}

// Probes run one at a time, so a re-probe never overlaps another.
QThreadPool *probeQueue() {
    static QThreadPool *pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(1);
        return created;
    }();
    return pool;
}

void store(const std::optional<RsyncSupport> &result) {
    QMutexLocker locker(&state().lock);
    state().probed = result;
    state().finished = true;
}

} // namespace

bool RsyncSupport::atLeast(int wantMajor, int wantMinor, int wantPatch) const {
    if (major != wantMajor)
        return major > wantMajor;
    if (minor != wantMinor)
        return minor > wantMinor;
    return patch >= wantPatch;
}

QStringList RsyncSupport::arguments(const QString &source, const QString &destination, bool inplace,
                                    bool sourceIsFolder, bool ignoreTimes) const {
    QStringList args{QStringLiteral("-aHEX"), QStringLiteral("-v"),
                     QStringLiteral("--info=progress2"), QStringLiteral("--no-inc-recursive")};
    if (atLeast(3, 2, 7)) {
        // Linux builds list "no crtimes" and exit 1 when given the flag.
        if (crtimesCapable)
            args << QStringLiteral("--crtimes");
        args << QStringLiteral("--atimes");
    }
    if (inplace)
        args << QStringLiteral("--inplace");
    // A merge target may hold a stale file of the same size and time; the quick check would keep
    // it.
    if (ignoreTimes)
        args << QStringLiteral("--ignore-times");
    // "file/" names no folder: rsync refuses it, so a single file is passed bare.
    if (sourceIsFolder)
        args << source + QLatin1Char('/') << destination + QLatin1Char('/');
    else
        args << source << destination;
    return args;
}

std::optional<RsyncSupport> RsyncSupport::fromVersionOutput(const QString &executablePath,
                                                            const QString &versionOutput) {
    const QString lower = versionOutput.toLower();
    if (lower.contains(QLatin1String("openrsync")))
        return std::nullopt;
    if (!lower.contains(QLatin1String("rsync")) || !(lower.contains(QLatin1String("version 3.")) ||
                                                     lower.contains(QLatin1String("version 4."))))
        return std::nullopt;

    RsyncSupport support;
    support.executablePath = executablePath;
    support.crtimesCapable = !lower.contains(QLatin1String("no crtimes"));
    static const QRegularExpression separators(QStringLiteral("[\\r\\n]"));
    const QStringList lines = versionOutput.split(separators, Qt::SkipEmptyParts);
    const QString first = lines.isEmpty() ? QString() : lines.first().trimmed();
    support.versionString = first.isEmpty() ? QStringLiteral("rsync (GNU 3+)") : first;

    static const QRegularExpression pattern(QStringLiteral(R"(version\s+(\d+)\.(\d+)(?:\.(\d+))?)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(first);
    if (match.hasMatch()) {
        support.major = match.captured(1).toInt();
        support.minor = match.captured(2).toInt();
        support.patch = match.captured(3).isEmpty() ? 0 : match.captured(3).toInt();
    }
    return support;
}

std::optional<RsyncSupport> RsyncSupport::acceptIfGNUv3(const QString &path) {
    platform::ChildCommand version(path, {QStringLiteral("--version")});
    version.deadline = std::chrono::seconds(10);
    const platform::ChildResult result = platform::ChildProcess::run(version);
    if (result.outcome == platform::ChildResult::Outcome::FailedToStart ||
        result.outcome == platform::ChildResult::Outcome::DeadlineHit)
        return std::nullopt;
    return fromVersionOutput(path, platform::strictUtf8(result.output));
}

std::optional<RsyncSupport> RsyncSupport::probe() {
    for (const QString &candidate : platform::rsyncCandidates()) {
        const QFileInfo info(candidate);
        if (!info.isFile() || !info.isExecutable())
            continue;
        if (std::optional<RsyncSupport> accepted = acceptIfGNUv3(candidate))
            return accepted;
    }
    return std::nullopt;
}

void RsyncSupport::startProbeIfNeeded() {
    QMutexLocker locker(&state().lock);
    if (state().started)
        return;
    state().started = true;
    state().firstProbe = QtConcurrent::run(probeQueue(), [] { store(probe()); });
}

void RsyncSupport::reprobe(QObject *context, std::function<void()> completion) {
    whenFinished(QtConcurrent::run(probeQueue(), [] { store(probe()); }), context,
                 [completion = std::move(completion)] {
                     if (completion)
                         completion();
                 });
}

void RsyncSupport::waitForProbe() {
    startProbeIfNeeded();
    QFuture<void> first;
    {
        QMutexLocker locker(&state().lock);
        first = state().firstProbe;
    }
    first.waitForFinished();
}

std::optional<RsyncSupport> RsyncSupport::current() {
    QMutexLocker locker(&state().lock);
    return state().probed;
}

bool RsyncSupport::isReady() {
    QMutexLocker locker(&state().lock);
    return state().started && state().finished;
}

} // namespace quindle
