// `quindle transfer(s)` and `quindle vault`, the real executable with real rclone.
#include "../transfers/TransferFixture.h"

#include "mover/MoveManifest.h"
#include "support/CommandRun.h"
#include "support/ProcessState.h"
#include "transfers/JobStore.h"
#include "transfers/SecretVault.h"

#include <QProcess>

#include <signal.h>

using namespace quindle;

using test::CommandRun;

class TransferCommand : public test::TransferTest {
protected:
    // The vault lives in a file: no keyring reaches into the test.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUINDLE_VAULT_KEYSTORE", "file");
        return env;
    }
    CommandRun run(const QStringList &arguments, const QByteArray &input = {}) const {
        return test::runCommand(QUINDLE_BINARY, arguments, environment(), home(), input);
    }
    QString added(const QStringList &arguments) const {
        const CommandRun result = run(QStringList{"transfer", "add"} + arguments);
        EXPECT_EQ(result.status, 0) << result.err.toStdString();
        return result.out.trimmed();
    }
};

TEST_F(TransferCommand, AddRefusesWhatCouldNotRunAndDropsADuplicate) {
    test::writeText(inHome("src/a.txt"), "a");
    const struct {
        QStringList arguments;
        QString sentence;
    } refusals[] = {
        {{"copy", "src", "mem:x"},
         "Use a full path such as /home/you/Photos, or a remote such as name:folder."},
        {{"copy", inHome("src"), "nowhere:x"}, "No rclone remote is named “nowhere”."},
        {{"clone", inHome("src"), "mem:x"},
         "“clone” is not a transfer mode: use copy, move, sync_one_way or bisync."},
        {{"copy", inHome("src"), "mem:x", "--schedule", "daily:25:00"},
         "“daily:25:00” is not a schedule."},
    };
    for (const auto &refusal : refusals) {
        const CommandRun result = run(QStringList{"transfer", "add"} + refusal.arguments);
        EXPECT_EQ(result.status, 2) << refusal.arguments.join(' ').toStdString();
        EXPECT_EQ(result.err.trimmed(), refusal.sentence);
    }
    EXPECT_TRUE(JobStore::load().jobs.isEmpty());

    const QString id = added({"copy", inHome("src"), "mem:x", "--bwlimit", "5M", "--transfers", "2",
                              "--dry-run", "--schedule", "weekly:1:04:30"});
    const CommandRun duplicate = run({"transfer", "add", "copy", inHome("src"), "mem:x"});
    EXPECT_EQ(duplicate.status, 2);
    EXPECT_EQ(duplicate.err.trimmed(), "Not added: the same transfer is already active.");

    const QList<SyncJob> jobs = JobStore::load().jobs;
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(uuidText(jobs.first().id), id);
    EXPECT_EQ(jobs.first().bandwidthLimit, "5M");
    EXPECT_EQ(jobs.first().transfers, 2);
    EXPECT_TRUE(jobs.first().dryRun);
    EXPECT_EQ(jobs.first().schedule, Schedule::weekly(1, 4, 30));
    EXPECT_EQ(jobs.first().state, JobState::Queued);
}

TEST_F(TransferCommand, RunCompletesTheQueueAndTheListShowsWhatHappened) {
    test::generateTree(
        inHome("src"),
        {.seed = 8, .files = 6, .symlink = false, .hardLink = false, .emptyFolder = false});
    test::writeText(inHome("blocker"), "a file");
    const QString good = added({"copy", inHome("src"), inHome("dst")});
    const QString bad = added({"copy", inHome("src"), inHome("blocker/sub")});

    const CommandRun runs = run({"transfers", "run"});
    EXPECT_EQ(runs.status, 1) << runs.out.toStdString(); // one of the two failed
    EXPECT_TRUE(runs.out.contains("rclone exited with code 1. Last log lines:"));
    EXPECT_EQ(test::fileEntries(inHome("dst")), test::fileEntries(inHome("src")));

    const CommandRun listed = run({"transfers"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_TRUE(listed.out.contains(good + "  Completed")) << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains(bad + "  Failed"));

    EXPECT_EQ(run({"transfer", "remove", bad.left(8)}).status, 0);
    const CommandRun retried = run({"transfer", "retry", good});
    EXPECT_EQ(retried.status, 0);
    EXPECT_EQ(run({"transfers", "run"}).status, 0);
    EXPECT_EQ(run({"transfers", "clear-finished"}).status, 0);
    EXPECT_EQ(run({"transfers"}).out.trimmed(), "No transfers.");
}

// A kill -9 of the process running the transfers takes its rclone along and leaves short files
// under their final names; the next run must finish them and never delete a source whose copy
// was short.
TEST_F(TransferCommand, AKilledRunIsFinishedByTheNextOne) {
    const QString served = inHome("served");
    addPeer(test::RclonePeer::Kind::WebDav, "dav", served);
    for (const char *mode : {"copy", "move"}) {
        const QString src = inHome(QStringLiteral("src-") + mode);
        test::writeRandomFile(src + "/big.bin", 8 * 1024 * 1024, 21);
        test::writeRandomFile(src + "/second.bin", 2 * 1024 * 1024, 22);
        added({mode, src, QStringLiteral("dav:") + mode, "--bwlimit", "3M"});
    }
    const auto original = test::fileEntries(inHome("src-copy"));
    const auto originalMoved = test::fileEntries(inHome("src-move"));

    QProcess first;
    first.setProcessEnvironment(environment());
    first.start(QStringLiteral(QUINDLE_BINARY), {"transfers", "run"});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(test::waitUntil(
        [&] {
            return QFileInfo(served + "/copy/big.bin").size() > 2 * 1024 * 1024 &&
                   QFileInfo(served + "/move/big.bin").size() > 2 * 1024 * 1024;
        },
        30000));
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished());
    // Its rclone got SIGTERM from the kernel and is gone too.
    EXPECT_TRUE(test::waitUntil([&] {
        return !run({"transfers", "--json"}).out.contains("\"running\"");
    }));
    EXPECT_TRUE(test::waitUntil([&] {
        const CommandRun ps = test::runCommand("pgrep", {"-f", "rclone (copy|move) " + home()});
        return ps.status != 0;
    }));
    EXPECT_LT(QFileInfo(served + "/copy/big.bin").size(), 8 * 1024 * 1024);
    // A source file may go only once its copy is whole.
    const auto leftMoved = test::fileEntries(inHome("src-move"));
    const auto servedMoved = test::fileEntries(served + "/move");
    for (auto file = originalMoved.cbegin(); file != originalMoved.cend(); ++file)
        EXPECT_TRUE(leftMoved.value(file.key()) == file.value() ||
                    servedMoved.value(file.key()) == file.value())
            << file.key().toStdString();

    const CommandRun second = run({"transfers", "run"});
    EXPECT_EQ(second.status, 0) << second.out.toStdString() << second.err.toStdString();
    EXPECT_EQ(test::fileEntries(served + "/copy"), original);
    EXPECT_EQ(test::fileEntriesBesideReplaced(served + "/move"), originalMoved);
    EXPECT_FALSE(QFileInfo::exists(inHome("src-move/big.bin")));
}

TEST_F(TransferCommand, VaultCommandsRoundTripAndReportADamagedVault) {
    EXPECT_EQ(run({"vault", "set", "remote.work", "password"}, "p@ss word\n").status, 0);
    EXPECT_EQ(run({"vault", "set", "remote.work", "username"}, "ada").status, 0);
    EXPECT_EQ(run({"vault", "get", "remote.work", "password"}).out, "p@ss word\n");
    EXPECT_EQ(run({"vault", "list"}).out, "remote.work: password, username\n");
    EXPECT_EQ(run({"vault", "status"}).status, 0);

    const QByteArray intact = test::readText(SecretVault::vaultPath());
    test::writeText(SecretVault::vaultPath(), intact.left(40));
    const CommandRun refused = run({"vault", "set", "remote.work", "x"}, "y");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.trimmed(),
              "Credential vault is corrupted: Envelope didn't parse as JSON.");
    EXPECT_EQ(test::readText(SecretVault::vaultPath()), intact.left(40));
    EXPECT_EQ(run({"vault", "status"}).status, 1);

    EXPECT_EQ(run({"vault", "reset"}).status, 2);
    EXPECT_EQ(run({"vault", "reset", "--yes"}).status, 0);
    EXPECT_EQ(run({"vault", "list"}).out, QString());
    EXPECT_EQ(run({"vault", "purge", "remote.work"}).status, 0);
}
