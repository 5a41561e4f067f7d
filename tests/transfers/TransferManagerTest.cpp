#include "TransferFixture.h"

#include "support/CommandRun.h"
#include "transfers/InterruptedPairs.h"
#include "transfers/JobStore.h"

#include <QFile>
#include <QFileInfo>

using namespace quindle;

namespace {

const test::TreeSpec plainTree{
    .seed = 5, .files = 12, .symlink = false, .hardLink = false, .emptyFolder = false};

} // namespace

class TransferRuns : public test::TransferTest {};

TEST_F(TransferRuns, EachModeEndsWithTheTreesItPromises) {
    makeManager();
    const QString src = inHome("src");
    test::generateTree(src, plainTree);
    QDir().mkpath(inHome("aliased"));
    const auto original = test::fileEntries(src);

    const SyncJob copy = job(JobMode::Copy, src, inHome("copied"));
    ASSERT_TRUE(manager->enqueue(copy));
    ASSERT_TRUE(waitForState(copy.id, JobState::Completed));
    EXPECT_EQ(test::fileEntries(inHome("copied")), original);

    test::writeText(inHome("mirror/stale.txt"), "only here");
    const SyncJob sync = job(JobMode::SyncOneWay, src, inHome("mirror"));
    ASSERT_TRUE(manager->enqueue(sync));
    ASSERT_TRUE(waitForState(sync.id, JobState::Completed));
    EXPECT_EQ(test::fileEntries(inHome("mirror")), original);

    SyncJob first = job(JobMode::Bisync, inHome("copied"), "here:");
    first.bisyncResync = true;
    ASSERT_TRUE(manager->enqueue(first));
    ASSERT_TRUE(waitForState(first.id, JobState::Completed));
    test::writeText(inHome("copied/left.txt"), "left");
    test::writeText(inHome("aliased/right.txt"), "right");
    const SyncJob second = job(JobMode::Bisync, inHome("copied"), "here:");
    ASSERT_TRUE(manager->enqueue(second));
    ASSERT_TRUE(waitForState(second.id, JobState::Completed))
        << manager->job(second.id)->errorMessage.value_or("").toStdString();
    EXPECT_EQ(test::fileEntries(inHome("copied")), test::fileEntries(inHome("aliased")));
    EXPECT_TRUE(QFileInfo::exists(inHome("copied/right.txt")));

    const SyncJob move = job(JobMode::Move, src, "mem:moved");
    ASSERT_TRUE(manager->enqueue(move));
    ASSERT_TRUE(waitForState(move.id, JobState::Completed));
    EXPECT_TRUE(test::fileEntries(src).isEmpty());
    const std::optional<SyncJob> done = manager->job(move.id);
    EXPECT_EQ(done->progress.bytesTransferred, done->progress.bytesTotal);
    EXPECT_TRUE(done->completedAt.has_value());
}

TEST_F(TransferRuns, AMoveKeepsTheDestinationFilesItReplacesAndCountsThem) {
    makeManager();
    test::writeText(inHome("src/a.txt"), "new");
    test::writeText(inHome("src/b.txt"), "same");
    test::writeText(inHome("dst/a.txt"), "older but with a later time");
    test::writeText(inHome("dst/b.txt"), "same");
    const QDateTime later = QDateTime::currentDateTime().addSecs(3600);
    QFile touched(inHome("dst/a.txt"));
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
    ASSERT_TRUE(touched.setFileTime(later, QFileDevice::FileModificationTime));
    touched.close();

    const SyncJob move = job(JobMode::Move, inHome("src"), inHome("dst"));
    ASSERT_TRUE(manager->enqueue(move));
    ASSERT_TRUE(waitForState(move.id, JobState::Completed));
    EXPECT_EQ(test::readText(inHome("dst/a.txt")), "new");
    const QStringList kept = QDir(inHome("dst")).entryList({"a.replaced-*.txt"}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(test::readText(inHome("dst/") + kept.first()), "older but with a later time");
    EXPECT_EQ(manager->job(move.id)->replacedFiles, 1);
    EXPECT_FALSE(QFileInfo::exists(inHome("src/a.txt")));
}

TEST_F(TransferRuns, TwoRunAtOnceTheThirdWaitsAndADuplicateIsDropped) {
    makeManager();
    QList<QUuid> ids;
    for (const char *name : {"one", "two", "three"}) {
        test::writeRandomFile(inHome(name) + "/data.bin", 3 * 1024 * 1024, 2);
        SyncJob slow = job(JobMode::Copy, inHome(name), QStringLiteral("mem:") + name);
        slow.bandwidthLimit = "1M";
        ASSERT_TRUE(manager->enqueue(slow));
        ids << slow.id;
    }
    EXPECT_FALSE(manager->enqueue(job(JobMode::Copy, inHome("one"), "mem:one")));
    EXPECT_EQ(manager->runningCount(), 2);
    int mostAtOnce = 0;
    QObject::connect(manager.get(), &SyncManager::jobsChanged,
                     [&] { mostAtOnce = std::max(mostAtOnce, manager->runningCount()); });
    for (const QUuid &id : ids)
        ASSERT_TRUE(waitForState(id, JobState::Completed));
    EXPECT_EQ(mostAtOnce, 2);
}

class TransferInterruptions : public test::TransferTest,
                              public ::testing::WithParamInterface<test::RclonePeer::Kind> {};

// rclone 1.60 leaves a cut-short file under its final name with a fresh time; after a pause the
// run must compare contents again, and a move must not delete a source whose copy is short.
TEST_P(TransferInterruptions, APausedCopyAndMoveResumeToExactCopies) {
    const QString served = inHome("served");
    addPeer(GetParam(), "peer", served);
    makeManager();
    for (const JobMode mode : {JobMode::Copy, JobMode::Move}) {
        const QString src = inHome("src-" + rawValue(mode));
        test::writeRandomFile(src + "/big.bin", 6 * 1024 * 1024, 11);
        test::writeText(src + "/small.txt", "small");
        const auto original = test::fileEntries(src);
        SyncJob slow = job(mode, src, QStringLiteral("peer:") + rawValue(mode));
        slow.bandwidthLimit = "2M";
        ASSERT_TRUE(manager->enqueue(slow));
        ASSERT_TRUE(test::waitUntil(
            [&] { return manager->job(slow.id)->progress.bytesTransferred > 1024 * 1024; }, 30000));
        manager->pause(slow.id);
        EXPECT_EQ(stateOf(slow.id), JobState::Paused);
        // The run's end marks the pair: its next run compares contents again.
        ASSERT_TRUE(test::waitUntil(
            [&] { return InterruptedPairs::contains(slow.source, slow.destination); }));
        EXPECT_EQ(stateOf(slow.id), JobState::Paused);
        EXPECT_TRUE(QFileInfo::exists(src + "/big.bin"));

        manager->resume(slow.id);
        ASSERT_TRUE(waitForState(slow.id, JobState::Completed, 60000))
            << manager->job(slow.id)->errorMessage.value_or("").toStdString();
        // A move keeps the short file it replaced beside the whole one, and counts it.
        EXPECT_EQ(test::fileEntriesBesideReplaced(served + "/" + rawValue(mode)), original);
        EXPECT_EQ(test::fileEntries(served + "/" + rawValue(mode)).size() - original.size(),
                  manager->job(slow.id)->replacedFiles);
        EXPECT_FALSE(manager->job(slow.id)->log.first().contains("--update"));
        EXPECT_FALSE(InterruptedPairs::contains(slow.source, slow.destination));
        if (mode == JobMode::Move) {
            EXPECT_FALSE(QFileInfo::exists(src + "/big.bin"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, TransferInterruptions,
                         ::testing::Values(test::RclonePeer::Kind::WebDav,
                                           test::RclonePeer::Kind::Sftp));

TEST_F(TransferRuns, TheTrapAnInterruptedPairAvoids) {
    // What --update would do after an interruption: trust the short file and call it done.
    test::writeRandomFile(inHome("src/big.bin"), 256 * 1024, 3);
    test::writeText(inHome("dst/big.bin"), "cut short");
    const test::CommandRun run = test::runCommand(
        RcloneClient::locate(), {"copy", inHome("src"), inHome("dst"), "--update"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(test::readText(inHome("dst/big.bin")), "cut short");

    InterruptedPairs::add(inHome("src"), inHome("dst"));
    makeManager();
    const SyncJob again = job(JobMode::Copy, inHome("src"), inHome("dst"));
    ASSERT_TRUE(manager->enqueue(again));
    ASSERT_TRUE(waitForState(again.id, JobState::Completed));
    EXPECT_EQ(test::fileEntries(inHome("dst")), test::fileEntries(inHome("src")));
}

class TransferDrive : public test::TransferTest {};

TEST_F(TransferDrive, APlainFolderIsNoDriveUntilAllowedOrMounted) {
    const QString drive = inHome("NVMe");
    QDir().mkpath(drive);
    reportDrive(drive + "/");
    test::writeText(inHome("src/a.txt"), "a");
    makeManager();

    const SyncJob onDrive = job(JobMode::Copy, inHome("src"), drive + "/backup");
    const SyncJob besideIt = job(JobMode::Copy, inHome("src"), inHome("NVMe2/backup"));
    ASSERT_TRUE(manager->enqueue(onDrive));
    ASSERT_TRUE(manager->enqueue(besideIt));
    EXPECT_EQ(stateOf(onDrive.id), JobState::WaitingForDrive);
    EXPECT_TRUE(manager->hasJobsAwaitingDrive());
    ASSERT_TRUE(waitForState(besideIt.id, JobState::Completed));

    volumes.fireMounted(drive); // something else mounted: the folder is still bare
    EXPECT_EQ(stateOf(onDrive.id), JobState::WaitingForDrive);
    allowPlainFolderDrive(true);
    volumes.fireMounted(drive);
    ASSERT_TRUE(waitForState(onDrive.id, JobState::Completed));
    EXPECT_EQ(test::readText(drive + "/backup/a.txt"), "a");
}

TEST_F(TransferDrive, AnUnmountParksTheRunAndTheReturnCompletesIt) {
    const QString drive = inHome("NVMe");
    QDir().mkpath(drive);
    reportDrive(drive);
    allowPlainFolderDrive(true);
    test::writeRandomFile(inHome("src/big.bin"), 6 * 1024 * 1024, 4);
    makeManager();
    SyncJob slow = job(JobMode::Copy, inHome("src"), drive + "/backup");
    slow.bandwidthLimit = "2M";
    ASSERT_TRUE(manager->enqueue(slow));
    ASSERT_TRUE(test::waitUntil(
        [&] { return manager->job(slow.id)->progress.bytesTransferred > 0; }, 30000));

    QDir(drive).removeRecursively();
    volumes.fireUnmounted(drive);
    ASSERT_TRUE(waitForState(slow.id, JobState::WaitingForDrive));
    EXPECT_FALSE(manager->job(slow.id)->errorMessage);

    QDir().mkpath(drive);
    volumes.fireMounted(drive);
    ASSERT_TRUE(waitForState(slow.id, JobState::Completed, 60000));
    EXPECT_EQ(test::fileEntries(drive + "/backup"), test::fileEntries(inHome("src")));
}

TEST_F(TransferDrive, WaitingJobsAreRetestedAtStartAndCanBeAbandoned) {
    const QString drive = inHome("NVMe");
    reportDrive(drive);
    test::writeText(inHome("src/a.txt"), "a");
    SyncJob waiting = job(JobMode::Copy, inHome("src"), drive + "/a");
    waiting.state = JobState::WaitingForDrive;
    SyncJob abandoned = job(JobMode::Copy, inHome("src"), drive + "/b");
    abandoned.state = JobState::WaitingForDrive;
    ASSERT_EQ(JobStore::save({waiting}), std::nullopt);
    QDir().mkpath(drive);
    allowPlainFolderDrive(true);
    makeManager();
    ASSERT_TRUE(waitForState(waiting.id, JobState::Completed));

    QDir(drive).removeRecursively();
    ASSERT_TRUE(manager->enqueue(abandoned));
    EXPECT_EQ(stateOf(abandoned.id), JobState::WaitingForDrive);
    manager->cancelAllWaiting();
    EXPECT_EQ(stateOf(abandoned.id), JobState::Canceled);
    EXPECT_EQ(manager->job(abandoned.id)->errorMessage,
              "Cancelled while waiting for external drive.");
}
