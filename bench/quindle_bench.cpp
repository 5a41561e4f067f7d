// quindle_bench generate small|large|many <dir> — the benchmark trees (many: 200,000 files)
// quindle_bench hash <dir>                   — seconds for one TreeHasher digest
// quindle_bench compare <a> <b>              — seconds for one quick compare
// quindle_bench verify <a> <b>               — seconds for a thorough verify's two digests
// quindle_bench stall <src> <dst-parent>     — the UI thread's longest stall (ms) while a move
//                                              starts, a mount appears and the move runs to its end
// quindle_bench prepare-drive <dir>          — makes a spare folder pass for the drive
// quindle_bench cloud-list <remote:path>     — seconds for the Tier window's cloud listing
#include "core/DriveIdentity.h"
#include "mover/LocalFolderMover.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "mover/RsyncSupport.h"
#include "mover/TreeHasher.h"
#include "mover/TreeQuickCompare.h"
#include "platform/VolumeWatcher.h"
#include "tier/TierListing.h"
#include "updates/FileSha256.h"
#include "updates/UpdatePackage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <random>

using namespace quindle;

namespace {

void writeFile(const QString &path, qint64 bytes, std::mt19937_64 &random) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qint64 written = 0; written < bytes;) {
        const qint64 n = std::min<qint64>(block.size(), bytes - written);
        for (qint64 i = 0; i < n; i += 8) {
            const quint64 value = random();
            std::memcpy(block.data() + i, &value, std::min<qint64>(8, n - i));
        }
        file.write(block.constData(), n);
        written += n;
    }
}

int generate(const QString &kind, const QString &root) {
    std::mt19937_64 random(42);
    if (kind == QLatin1String("small")) {
        // A source tree's shape: many folders of small files.
        for (int folder = 0; folder < 200; ++folder) {
            const QString dir = root + QStringLiteral("/pkg%1/src").arg(folder);
            QDir().mkpath(dir);
            for (int file = 0; file < 100; ++file)
                writeFile(dir + QStringLiteral("/f%1.c").arg(file), 512 + qint64(random() % 8192),
                          random);
        }
    } else if (kind == QLatin1String("many")) {
        // Enough entries that per-file memory shows in the peak.
        for (int folder = 0; folder < 1000; ++folder) {
            const QString dir = root + QStringLiteral("/d%1").arg(folder);
            QDir().mkpath(dir);
            for (int file = 0; file < 200; ++file)
                writeFile(dir + QStringLiteral("/f%1").arg(file), 64, random);
        }
    } else {
        QDir().mkpath(root);
        for (int file = 0; file < 4; ++file)
            writeFile(root + QStringLiteral("/video%1.mov").arg(file), 256LL * 1024 * 1024, random);
    }
    return 0;
}

double seconds(const QElapsedTimer &timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

// A 10 ms timer on the main thread; the largest gap between its ticks is the longest stall.
int stall(const QString &src, const QString &dstParent) {
    MoverLog log;
    MoverSettings settings;
    platform::VolumeWatcher volumes;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    RsyncSupport::startProbeIfNeeded();
    RsyncSupport::waitForProbe();
    sinceTick.start();
    ticker.start();
    LocalFolderMover mover(log, settings, &volumes);
    const EnqueueOutcome outcome = mover.enqueue(src, dstParent, MoveConflictPolicy::Merge, false);
    if (outcome.kind != EnqueueOutcome::Kind::Enqueued)
        return 1;
    Q_EMIT volumes.volumeMounted(QStringLiteral("/somewhere/else"));
    const auto ended = [&] {
        const auto job = mover.job(outcome.job);
        return !job || isTerminal(job->manifest.phase);
    };
    QEventLoop loop;
    QObject::connect(&mover, &LocalFolderMover::jobsChanged, &loop, [&] {
        if (ended())
            loop.quit();
    });
    if (!ended())
        loop.exec();
    QTextStream(stdout) << longest << '\n';
    return mover.job(outcome.job)->manifest.phase == MovePhase::Done ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    const CancelCheck never = [] { return false; };
    if (args.size() == 3 && args[0] == QLatin1String("generate"))
        return generate(args[1], args[2]);
    if (args.size() == 3 && args[0] == QLatin1String("stall"))
        return stall(args[1], args[2]);
    if (args.size() == 2 && args[0] == QLatin1String("prepare-drive")) {
        QFile marker(markerFile(args[1]));
        QDir().mkpath(WorkingFolder::path(args[1]));
        return marker.open(QIODevice::WriteOnly) && marker.write("volume_uuid=BENCH\n") > 0 ? 0 : 1;
    }
    QElapsedTimer timer;
    timer.start();
    if (args.size() == 2 && args[0] == QLatin1String("hash")) {
        if (!TreeHasher::hash(args[1], nullptr, never))
            return 1;
    } else if (args.size() == 3 && args[0] == QLatin1String("verify")) {
        const TreeHasher::Pair both = TreeHasher::hashBoth(args[1], args[2], {}, {}, never);
        if (!both.source || !both.destination)
            return 1;
    } else if (args.size() == 4 && args[0] == QLatin1String("stage-update")) {
        // What an update does before anything is replaced: checksum, unpack beside, check.
        if (!sha256Hex(args[1]))
            return 1;
        const auto staged = UpdatePackage::stage(args[1], args[2], args[3]);
        if (!std::holds_alternative<UpdatePackage::Staged>(staged)) {
            QTextStream(stderr) << std::get<UpdatePackage::Refused>(staged).reason << '\n';
            return 1;
        }
        QDir(std::get<UpdatePackage::Staged>(staged).stagingFolder).removeRecursively();
    } else if (args.size() == 2 && args[0] == QLatin1String("cloud-list")) {
        const CloudListing listing = listRcloneEntries(args[1]);
        if (listing.error) {
            QTextStream(stderr) << *listing.error << '\n';
            return 1;
        }
    } else if (args.size() == 3 && args[0] == QLatin1String("compare")) {
        const auto differences = TreeQuickCompare::diff(args[1], args[2], never);
        if (!differences || !differences->isEmpty())
            return 1;
    } else {
        QTextStream(stderr)
            << "usage: quindle_bench generate small|large DIR | hash DIR | verify A B | "
               "compare A B | stall SRC DST | stage-update ARCHIVE INSTALL VERSION | "
               "prepare-drive DIR | cloud-list REMOTE:PATH\n";
        return 2;
    }
    out << seconds(timer) << '\n';
    return 0;
}
