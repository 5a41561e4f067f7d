// The command-line front end of the mover, run as a person runs it: the real binary, real rsync.
#include "../mover/MoverFixture.h"

#include "mover/ManifestStore.h"
#include "support/CommandRun.h"

#include <QFileInfo>
#include <QProcess>

#include <signal.h>

using namespace quindle;

using test::CommandRun;

class MoveCommand : public test::MoverTest {
protected:
    CommandRun run(const QStringList &arguments) const {
        return test::runCommand(QUINDLE_BINARY, arguments, QProcessEnvironment::systemEnvironment(),
                                home());
    }
};

TEST_F(MoveCommand, BadArgumentsPrintTheUsageAndRecordNothing) {
    test::writeText(inHome("Docs/a.txt"), "a");
    const QList<QStringList> cases{
        {"move", "Docs", ""},
        {"move", "Docs"},
        {"move"},
        {"move", "--", "Docs", "drive"},
        {"move", "Docs", "drive", "--"},
        {"move", "Docs", "drive", "--bogus"},
        {"move", "Docs", "drive", "--verify"},
        {"move", "Docs", "drive", "--verify", "slow"},
        {"move", "Docs", "drive", "extra"},
    };
    for (const QStringList &arguments : cases) {
        const CommandRun result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains("Usage: quindle move <source> <destination-folder>"))
            << arguments.join(' ').toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
    EXPECT_TRUE(ManifestStore::loadAll().isEmpty());
    EXPECT_EQ(test::readText(inHome("Docs/a.txt")), "a");
}

TEST_F(MoveCommand, OverlappingPathsAreRefusedOnStandardErrorWithTheirOwnSentence) {
    test::writeText(inHome("x/data.txt"), "data");
    test::writeText(inHome("a/f"), "a file");
    struct Case {
        QStringList arguments;
        QString sentence;
    };
    const QList<Case> cases{
        {{"move", "x", "."}, "The destination " + inHome("x") + " is the folder " + inHome("x")},
        {{"move", inHome("x"), home(), "--override"}, "is the folder " + inHome("x") + " itself"},
        {{"move", "/", inHome("dst")}, "a folder cannot be moved into itself"},
        {{"move", "a/f", "a/f"}, inHome("a/f") + " is a file, so the destination"},
    };
    for (const Case &c : cases) {
        const CommandRun result = run(c.arguments);
        EXPECT_EQ(result.status, 1) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains(c.sentence))
            << c.arguments.join(' ').toStdString() << ": " << result.err.toStdString();
    }
    EXPECT_TRUE(ManifestStore::loadAll().isEmpty());
    EXPECT_EQ(test::readText(inHome("x/data.txt")), "data");
    EXPECT_EQ(test::readText(inHome("a/f")), "a file");
}

TEST_F(MoveCommand, ASignalStopsTheMoveLikeCancelAndResumeFinishesIt) {
    test::writeRandomFile(inHome("Footage/a.mov"), 4 * 1024 * 1024, 2);
    const QByteArray before = test::treeDigest(inHome("Footage"));
    // The move is stopped once by SIGTERM, then its resumption once by SIGINT.
    const QList<std::pair<int, QStringList>> runs{{SIGTERM, {"move", inHome("Footage"), drive}},
                                                  {SIGINT, {"resume"}}};
    for (const auto &[signal, arguments] : runs) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUINDLE_RSYNC", slowRsync(800));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUINDLE_BINARY), arguments);
        QByteArray out;
        ASSERT_TRUE(test::waitUntil([&] {
            out += process.readAllStandardOutput();
            return out.contains("rsync started (pid");
        }));
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(15000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 128 + signal);
        EXPECT_TRUE(process.readAllStandardError().contains("quindle resume"));
        // Its rsync ended with it, and the record still says where it stopped.
        EXPECT_TRUE(test::waitUntil([&] {
            return QProcess::execute("pgrep", {"-f", "bwlimit=800"}) != 0;
        }));
        EXPECT_EQ(ManifestStore::loadAll().first().phase, MovePhase::Copying);
        EXPECT_EQ(test::treeDigest(inHome("Footage")), before);
    }
    const CommandRun resumed = run({"resume"});
    EXPECT_EQ(resumed.status, 0) << resumed.err.toStdString();
    EXPECT_EQ(test::treeDigest(drive + "/Footage"), before);
    EXPECT_FALSE(QFileInfo::exists(inHome("Footage")));
}

TEST_F(MoveCommand, ABigMoveStillPrintsItsLastPhasesAndResult) {
    // Far more rsync lines than the live log keeps: the end of the move must still be printed.
    for (int i = 0; i < 2300; ++i)
        test::writeText(inHome(QStringLiteral("Many/f%1").arg(i)), QByteArray::number(i));
    const CommandRun result = run({"move", "Many", drive});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.contains("[phase   ]")) << result.out.right(2000).toStdString();
    EXPECT_TRUE(result.out.contains("cleaningUp → done"));
    EXPECT_TRUE(result.out.contains("rm exit 0 for " + inHome("Many")));
    const QStringList lines = result.out.trimmed().split('\n');
    EXPECT_TRUE(lines.last().contains("done")) << lines.last().toStdString();
}
