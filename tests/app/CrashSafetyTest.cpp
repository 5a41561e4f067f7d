// Kills real `quindle move` processes with SIGKILL at many moments and checks that, after
// `quindle resume`, every original file still exists with its content: at the source, at the
// destination, or behind a link at the source. QUINDLE_CRASH_POINTS asks for a longer run.
#include "../mover/MoverFixture.h"

#include "mover/ManifestStore.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <random>

#include <signal.h>

using namespace quindle;

namespace {

struct Outcome {
    bool killed = false;
    QString killedAfter; // the last line the process printed
};

QProcessEnvironment environmentFor(const QString &home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("XDG_CONFIG_HOME", home + "/.config");
    return environment;
}

// Runs quindle and SIGKILLs it `delayMs` after the first line of output that contains `trigger`.
Outcome runAndKill(const QString &home, const QStringList &arguments, const QString &trigger,
                   int delayMs) {
    QProcess process;
    process.setProcessEnvironment(environmentFor(home));
    process.setProcessChannelMode(QProcess::MergedChannels);
    Outcome outcome;
    QString last;
    bool armed = false;
    QObject::connect(&process, &QProcess::readyRead, [&] {
        while (process.canReadLine()) {
            last = QString::fromUtf8(process.readLine()).trimmed();
            if (last.contains(trigger) && !armed) {
                armed = true;
                QTimer::singleShot(delayMs, &process, [&] {
                    if (process.state() == QProcess::Running) {
                        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
                        outcome.killed = true;
                        outcome.killedAfter = last;
                    }
                });
            }
        }
    });
    process.start(QStringLiteral(QUINDLE_BINARY), arguments);
    EXPECT_TRUE(test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
    return outcome;
}

int runToEnd(const QString &home, const QStringList &arguments, QString *output = nullptr) {
    QProcess process;
    process.setProcessEnvironment(environmentFor(home));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(QUINDLE_BINARY), arguments);
    process.waitForFinished(120000);
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// What a file's content turned into, wherever it went; empty when it is nowhere.
QByteArray contentAt(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists()) // follows links: a link to a missing copy counts as nothing
        return {};
    if (info.isDir())
        return "d";
    return test::entryOf(info.canonicalFilePath());
}

// True while any process's command line mentions `needle` (an rsync left behind by a killed
// parent).
bool processMentions(const QString &needle) {
    const QStringList pids = QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs);
    for (const QString &pid : pids) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) &&
            QString::fromUtf8(cmdline.readAll().replace('\0', ' ')).contains(needle))
            return true;
    }
    return false;
}

} // namespace

class CrashSafety : public test::TempHomeTest {};

TEST_F(CrashSafety, NoKillPointLosesAFile) {
    const int points = qEnvironmentVariableIntValue("QUINDLE_CRASH_POINTS") > 0
                           ? qEnvironmentVariableIntValue("QUINDLE_CRASH_POINTS")
                           : 40;
    const QStringList levels{"fast", "thorough", "off"};
    std::mt19937 random(20261206);
    int killed = 0;
    QMap<QString, int> killedIn; // the phase the manifest on disk was left in
    for (int point = 0; point < points; ++point) {
        const QString home = inHome(QStringLiteral("run%1").arg(point));
        const QString src = home + "/Projects";
        const QString drive = home + "/drive";
        QDir().mkpath(drive);
        test::generateTree(src,
                           {.seed = unsigned(point + 1), .files = 30, .maxFileBytes = 96 * 1024});
        if (point % 2 == 0)
            test::writeRandomFile(src + "/large.bin", 6 * 1024 * 1024, point);
        const QMap<QString, QByteArray> original = test::treeEntries(src);

        QStringList arguments{"move", src, drive, "--verify", levels[point % 3]};
        const bool relocate = point % 4 < 2;
        if (relocate)
            arguments << QStringLiteral("--relocate");
        // Each run aims at one step; the delay lands the kill somewhere inside it.
        const QStringList triggers{"rsync started", "copying → hashing",
                                   levels[point % 3] == "off" ? QStringLiteral("→ cleaningUp")
                                                              : QStringLiteral("→ verifying"),
                                   "→ cleaningUp",
                                   relocate ? QStringLiteral("relocate cleanup: walking")
                                            : QStringLiteral("rm -rf")};
        const Outcome outcome =
            runAndKill(home, arguments, triggers[point % triggers.size()], int(random() % 6));
        qputenv("HOME", home.toLocal8Bit());
        const QList<MoveManifest> left = ManifestStore::loadAll();
        qputenv("HOME", this->home().toLocal8Bit());
        if (outcome.killed) {
            ++killed;
            killedIn[left.isEmpty() ? QStringLiteral("(before the manifest)")
                                    : rawValue(left.first().phase)]++;
        }

        QString resumed;
        EXPECT_EQ(runToEnd(home, {"resume"}, &resumed), 0) << resumed.toStdString();
        const QString dst = drive + "/Projects";
        for (auto it = original.cbegin(); it != original.cend(); ++it) {
            if (it.value() == "d")
                continue;
            const QString relative = it.key();
            // contentAt follows a link to its copy; entryOf sees a link that was a link all along.
            const auto holds = [&](const QString &root) {
                const QString path = root + u'/' + relative;
                return contentAt(path) == it.value() || test::entryOf(path) == it.value();
            };
            const bool atSource = holds(src);
            const bool atDestination = holds(dst);
            EXPECT_TRUE(atSource || atDestination)
                << "point " << point << " lost " << relative.toStdString() << " (killed after “"
                << outcome.killedAfter.toStdString() << "”)";
        }
        qputenv("HOME", home.toLocal8Bit());
        for (const MoveManifest &manifest : ManifestStore::loadAll())
            EXPECT_EQ(manifest.phase, MovePhase::Done)
                << "point " << point << ": "
                << manifest.lastError.value_or(QString()).toStdString();
        qputenv("HOME", this->home().toLocal8Bit());
    }
    std::cout << "[ crash    ] " << points << " kill points tried; " << killed
              << " runs were killed with SIGKILL and resumed, leaving their move in:";
    for (auto it = killedIn.cbegin(); it != killedIn.cend(); ++it)
        std::cout << "\n               in " << it.key().toStdString() << " × " << it.value();
    std::cout << std::endl;
    // Runs whose kill landed after the end prove nothing; a suite that killed none proved nothing.
    EXPECT_GT(killed, 0);
}

class KilledEngine : public test::MoverTest {};

TEST_F(KilledEngine, ANewEngineResumesTheMovesOfAKilledOne) {
    test::writeRandomFile(inHome("Footage/a.mov"), 3 * 1024 * 1024, 1);
    test::generateTree(inHome("Footage/stills"), {.seed = 4, .files = 10});
    const QByteArray before = test::treeDigest(inHome("Footage"));

    QProcess child;
    QProcessEnvironment environment = environmentFor(home());
    environment.insert("QUINDLE_RSYNC", slowRsync(1500));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(QUINDLE_BINARY), {"move", inHome("Footage"), drive});
    ASSERT_TRUE(test::waitUntil([] {
        const QList<MoveManifest> manifests = ManifestStore::loadAll();
        return !manifests.isEmpty() && manifests.first().phase == MovePhase::Copying &&
               manifests.first().fractionAtLastWrite > 0;
    }));
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(5000));
    // Its rsync dies on its next write to the dead parent and removes its temporary file.
    ASSERT_TRUE(test::waitUntil([&] { return !processMentions(inHome("Footage")); }));

    makeMover();
    ASSERT_EQ(mover->jobs().size(), 1);
    const QUuid id = mover->jobs().first().id();
    ASSERT_TRUE(endsDone(id));
    EXPECT_EQ(test::treeDigest(drive + "/Footage"), before);
    EXPECT_FALSE(QFileInfo::exists(inHome("Footage")));
}

// The same attack with the drive pulled instead of the process killed: the destination folder
// vanishes and the mount watcher says so, at the start of each step.
class UnpluggedDrive : public test::MoverTest {};

TEST_F(UnpluggedDrive, NoUnplugPointLosesAFileAndTheMoveResumes) {
    struct Point {
        const char *step;
        MovePhase unplugWhenEntering;
        bool relocate;
    };
    const QList<Point> points{
        {"copy", MovePhase::Copying, false},
        {"hash", MovePhase::Hashing, true},
        {"walk", MovePhase::CleaningUp, true},
        {"remove", MovePhase::CleaningUp, false},
    };
    for (const Point &point : points) {
        const QString src = inHome(QStringLiteral("Set ") + point.step);
        test::generateTree(src, {.seed = 11, .files = 16});
        const auto original = test::treeEntries(src);
        makeMover();
        const QString unplugged = inHome("unplugged");
        bool pulled = false;
        QUuid id;
        QObject::connect(mover.get(), &LocalFolderMover::jobsChanged, mover.get(), [&] {
            if (pulled || id.isNull() || phaseOf(id) != point.unplugWhenEntering)
                return;
            pulled = true;
            ASSERT_TRUE(QDir().rename(drive, unplugged));
            volumes.fireUnmounted(drive);
        });
        id = enqueue(src, drive, MoveConflictPolicy::Merge, point.relocate);
        ASSERT_TRUE(waitForPhase(id, MovePhase::WaitingForDrive)) << point.step;
        EXPECT_EQ(jobOf(id).manifest.resumeCleanup,
                  point.unplugWhenEntering == MovePhase::CleaningUp)
            << point.step;
        EXPECT_EQ(test::lostEntries(original, {src, unplugged + "/" + QFileInfo(src).fileName()}),
                  QStringList())
            << point.step;

        ASSERT_TRUE(QDir().rename(unplugged, drive));
        volumes.fireMounted(drive);
        EXPECT_TRUE(endsDone(id)) << point.step;
        const QString copy = drive + "/" + QFileInfo(src).fileName();
        EXPECT_EQ(test::treeEntries(copy), original) << point.step;
        if (point.relocate)
            EXPECT_EQ(test::lostEntries(original, {src}), QStringList()) << point.step;
        else
            EXPECT_FALSE(QFileInfo::exists(src)) << point.step;
        mover.reset();
    }
}
