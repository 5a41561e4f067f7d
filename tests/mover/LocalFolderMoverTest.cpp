#include "MoverFixture.h"

#include "mover/ManifestStore.h"

#include <QFile>
#include <QFileInfo>

using namespace quindle;
using Source = MoverLogLine::Source;

class FolderMove : public test::MoverTest {};

TEST_F(FolderMove, EveryVerificationLevelEndsWithAnIdenticalCopyAndNoSource) {
    for (VerificationLevel level :
         {VerificationLevel::Fast, VerificationLevel::Thorough, VerificationLevel::Off}) {
        const QString src = inHome(QStringLiteral("Projects ") + rawValue(level));
        test::generateTree(src, {.seed = 7});
        const QByteArray before = test::treeDigest(src);
        settings->setVerificationLevel(level);
        makeMover();
        const QUuid id = enqueue(src, drive + "/Work");
        ASSERT_TRUE(endsDone(id)) << rawValue(level).toStdString();
        const MoveManifest m = jobOf(id).manifest;
        EXPECT_EQ(test::treeDigest(m.finalDst), before);
        EXPECT_FALSE(QFileInfo::exists(src));
        EXPECT_EQ(m.driveUUID, "UUID-A");
        EXPECT_EQ(m.fractionAtLastWrite, 1.0);
        EXPECT_TRUE(m.completedAt.has_value());
        EXPECT_EQ(m.srcContentHash.has_value(), level == VerificationLevel::Thorough);
        EXPECT_EQ(ManifestStore::loadAll().first().phase, MovePhase::Done);
    }
}

TEST_F(FolderMove, ASingleFileMovesAndAnOffDriveDestinationCarriesNoDriveIdentity) {
    test::writeRandomFile(inHome("notes it's.txt"), 70000, 3);
    const QByteArray digest = test::entryOf(inHome("notes it's.txt"));
    ASSERT_TRUE(digest.startsWith("f:"));
    makeMover();
    const QUuid id = enqueue(inHome("notes it's.txt"), inHome("elsewhere"));
    ASSERT_TRUE(endsDone(id));
    EXPECT_EQ(test::entryOf(inHome("elsewhere/notes it's.txt")), digest);
    EXPECT_FALSE(QFileInfo::exists(inHome("notes it's.txt")));
    EXPECT_EQ(jobOf(id).manifest.driveUUID, std::nullopt);
}

TEST_F(FolderMove, MergeKeepsFilesOnlyTheDestinationHas) {
    test::generateTree(inHome("Photos"), {.seed = 2, .files = 8});
    test::writeText(drive + "/Photos/from an earlier move.jpg", "older");
    makeMover();
    const QUuid id = enqueue(inHome("Photos"), drive);
    ASSERT_TRUE(endsDone(id));
    EXPECT_EQ(test::readText(drive + "/Photos/from an earlier move.jpg"), "older");
}

TEST_F(FolderMove, AnOverrideThatLeavesTheDestinationShortFailsAndKeepsTheSource) {
    // A copier that makes the zero-filled file sparse: every attribute matches, the disk usage does
    // not.
    useRsync(fakes.add("sparse-rsync",
                       "[[ $1 == --version ]] && exec /usr/bin/rsync --version\n"
                       "src=${@: -2:1}; dst=${@: -1}; mkdir -p \"$dst\" && cp -a --sparse=always "
                       "\"$src\". \"$dst\""));
    QFile zeros(inHome("Disk Images/blank.img"));
    QDir().mkpath(inHome("Disk Images"));
    ASSERT_TRUE(zeros.open(QIODevice::WriteOnly));
    zeros.write(QByteArray(4 * 1024 * 1024, '\0'));
    zeros.close();
    test::writeText(drive + "/Disk Images/stale", "to be replaced");
    makeMover();
    const QUuid id = enqueue(inHome("Disk Images"), drive, MoveConflictPolicy::Override);
    ASSERT_TRUE(waitUntilTerminal(id));
    EXPECT_EQ(phaseOf(id), MovePhase::Failed);
    EXPECT_EQ(jobOf(id).manifest.lastError,
              "Post-copy size sanity check failed. Source preserved.");
    EXPECT_EQ(QFileInfo(inHome("Disk Images/blank.img")).size(), 4 * 1024 * 1024);
    EXPECT_FALSE(QFileInfo::exists(drive + "/Disk Images/stale"));
    EXPECT_EQ(logTexts(id, Source::Command).first(),
              QStringLiteral("/bin/rm -rf \"%1/Disk Images\"").arg(drive));
}

TEST_F(FolderMove, ALinkThatAlreadyPointsAtTheDestinationIsRemovedWithoutACopy) {
    test::writeText(drive + "/Music/song.flac", "la");
    ASSERT_TRUE(QFile::link(drive + "/Music", inHome("Music")));
    makeMover();
    EXPECT_TRUE(enqueue(inHome("Music"), drive).isNull());
    EXPECT_TRUE(mover->jobs().isEmpty());
    EXPECT_FALSE(QFileInfo(inHome("Music")).isSymLink());
    EXPECT_EQ(test::readText(drive + "/Music/song.flac"), "la");
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().text.startsWith(QStringLiteral("noop: ") + inHome("Music") +
                                                    " was a symlink → "));
}

TEST_F(FolderMove, WithoutRsyncTheRequestFailsAtOnceAndSaysHowToInstallIt) {
    useRsync("/nonexistent/rsync");
    test::writeText(inHome("Docs/a"), "a");
    makeMover();
    const QUuid id = enqueue(inHome("Docs"), drive);
    EXPECT_EQ(phaseOf(id), MovePhase::Failed);
    const QString error = jobOf(id).manifest.lastError.value_or(QString());
    EXPECT_TRUE(error.startsWith("GNU rsync 3.x is required but not installed. "))
        << error.toStdString();
    EXPECT_TRUE(error.endsWith(", then click Reload Probe on the Tier banner."));
    EXPECT_FALSE(error.contains("brew"));
    EXPECT_TRUE(QFileInfo::exists(inHome("Docs/a")));
}

TEST_F(FolderMove, CancellingACopyKeepsTheSource) {
    useRsync(slowRsync(500));
    test::writeRandomFile(inHome("Video/clip.mov"), 4 * 1024 * 1024, 9);
    makeMover();
    const QUuid id = enqueue(inHome("Video"), drive);
    ASSERT_TRUE(
        test::waitUntil([&] { return !logTexts(id, Source::Info).isEmpty(); })); // rsync started
    mover->cancel(id);
    EXPECT_EQ(phaseOf(id), MovePhase::Cancelled);
    EXPECT_EQ(jobOf(id).manifest.lastError, "Cancelled by user.");
    ASSERT_TRUE(test::waitUntil([&] { return mover->runningCount() == 0; }));
    EXPECT_EQ(phaseOf(id), MovePhase::Cancelled); // the ended rsync does not move it on
    EXPECT_EQ(QFileInfo(inHome("Video/clip.mov")).size(), 4 * 1024 * 1024);
    mover->cancel(id); // cancelling a finished job changes nothing
    EXPECT_EQ(phaseOf(id), MovePhase::Cancelled);
    mover->clearFinished();
    EXPECT_TRUE(mover->jobs().isEmpty());
    EXPECT_TRUE(ManifestStore::loadAll().isEmpty());
}

class MoveQueue : public test::MoverTest {};

TEST_F(MoveQueue, OneAtATimeCountsVerificationAndCleanupAsRunning) {
    settings->setMaxConcurrent(1);
    makeMover();
    QList<QUuid> ids;
    for (int i = 0; i < 3; ++i) {
        test::generateTree(inHome(QStringLiteral("batch%1").arg(i)),
                           {.seed = unsigned(i + 1), .files = 6});
        ids << enqueue(inHome(QStringLiteral("batch%1").arg(i)), drive);
    }
    int mostActive = 0;
    QObject::connect(mover.get(), &LocalFolderMover::jobsChanged, mover.get(), [&] {
        int active = 0;
        for (const MoveJob &job : mover->jobs())
            if (!isTerminal(job.manifest.phase) && job.manifest.phase != MovePhase::Writing)
                ++active;
        mostActive = std::max(mostActive, active);
        EXPECT_LE(mover->runningCount(), 1);
    });
    ASSERT_TRUE(test::waitUntil([&] {
        return std::all_of(ids.begin(), ids.end(),
                           [&](const QUuid &id) { return phaseOf(id) == MovePhase::Done; });
    }));
    EXPECT_EQ(mostActive, 1);
}

TEST_F(MoveQueue, AnInterruptedCopyResumesBeforeAQueuedMove) {
    settings->setMaxConcurrent(1);
    const auto manifestFor = [&](const QString &name, MovePhase phase, int minutesAgo) {
        test::generateTree(inHome(name), {.seed = 5, .files = 4});
        MoveManifest m;
        m.id = QUuid::createUuid();
        m.src = inHome(name);
        m.dstParent = drive;
        m.finalDst = drive + u'/' + name;
        m.startedAt = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
        m.phase = phase;
        return ManifestStore::write(m).id;
    };
    const QUuid queued = manifestFor("queued", MovePhase::Writing, 1);
    const QUuid interrupted = manifestFor("interrupted", MovePhase::Copying, 30);
    makeMover();
    ASSERT_EQ(mover->jobs().first().id(), queued); // newest first, yet…
    ASSERT_TRUE(waitUntilTerminal(queued));
    QList<QUuid> started;
    for (const MoverLogLine &line : log.lines())
        if (line.source == Source::Info && line.text.startsWith("rsync started"))
            started << *line.jobID;
    EXPECT_EQ(started, QList<QUuid>({interrupted, queued}));
    EXPECT_EQ(phaseOf(interrupted), MovePhase::Done);
}

TEST_F(MoveQueue, PauseLetsTheRunningCopyFinishButStartsNothingUntilResume) {
    makeMover();
    test::generateTree(inHome("first"), {.seed = 1, .files = 5});
    test::generateTree(inHome("second"), {.seed = 2, .files = 5});
    const QUuid first = enqueue(inHome("first"), drive);
    mover->pause();
    const QUuid second = enqueue(inHome("second"), drive);
    ASSERT_TRUE(waitForPhase(first, MovePhase::Hashing));
    EXPECT_EQ(mover->runningCount(), 0);
    EXPECT_EQ(phaseOf(second), MovePhase::Writing);
    mover->resume();
    // The verification of one and the copy of the other, at once.
    EXPECT_EQ(mover->runningCount(), 2);
    ASSERT_TRUE(waitUntilTerminal(first));
    EXPECT_TRUE(endsDone(second));
}

class DriveLoss : public test::MoverTest {};

TEST_F(DriveLoss, AnUnpluggedDriveParksTheMoveAndTheSameDriveResumesIt) {
    useRsync(slowRsync(800));
    test::writeRandomFile(inHome("Archive/part1"), 3 * 1024 * 1024, 1);
    test::writeRandomFile(inHome("Archive/part2"), 1024 * 1024, 2);
    const QByteArray before = test::treeDigest(inHome("Archive"));
    makeMover();
    const QUuid id = enqueue(inHome("Archive"), drive + "/Backups");
    ASSERT_TRUE(test::waitUntil([&] { return jobOf(id).manifest.fractionAtLastWrite > 0; }));

    QDir(drive).removeRecursively();
    volumes.fireUnmounted(drive);
    EXPECT_EQ(phaseOf(id), MovePhase::WaitingForDrive);
    EXPECT_EQ(jobOf(id).manifest.lastError,
              "Destination drive disappeared mid-move. Will resume on reconnect.");
    ASSERT_TRUE(test::waitUntil([&] { return mover->runningCount() == 0; }));
    EXPECT_EQ(phaseOf(id), MovePhase::WaitingForDrive);
    EXPECT_EQ(test::treeDigest(inHome("Archive")), before);

    mount("/some/other/volume"); // the drive is not back yet
    EXPECT_EQ(phaseOf(id), MovePhase::WaitingForDrive);

    useRsync(QString());
    QDir().mkpath(drive + "/Backups"); // the drive returns, marker and all
    prepareStandInDrive(drive, "UUID-A");
    mount(drive);
    ASSERT_TRUE(endsDone(id));
    EXPECT_EQ(test::treeDigest(drive + "/Backups/Archive"), before);
}

TEST_F(DriveLoss, ADifferentDriveAtTheSamePathFailsTheParkedMove) {
    useRsync(slowRsync(800));
    test::writeRandomFile(inHome("Archive/part1"), 3 * 1024 * 1024, 1);
    makeMover();
    const QUuid id = enqueue(inHome("Archive"), drive + "/Backups");
    ASSERT_TRUE(test::waitUntil([&] { return jobOf(id).manifest.fractionAtLastWrite > 0; }));
    QDir(drive).removeRecursively();
    volumes.fireUnmounted(drive);
    ASSERT_EQ(phaseOf(id), MovePhase::WaitingForDrive);

    QDir().mkpath(drive + "/Backups");
    writeStatus(drive, "UUID-B");
    mount(drive);
    EXPECT_EQ(phaseOf(id), MovePhase::Failed);
    EXPECT_EQ(jobOf(id).manifest.lastError,
              "Destination drive's volume UUID doesn't match the manifest (started against UUID-A, "
              "currently mounted UUID-B). Refusing to resume.");
    EXPECT_EQ(QFileInfo(inHome("Archive/part1")).size(), 3 * 1024 * 1024);
}

TEST_F(DriveLoss, AQueuedMoveOntoAnotherDriveIsRefusedBeforeCopying) {
    test::writeText(inHome("Letters/a.txt"), "a");
    settings->setMaxConcurrent(1);
    useRsync(slowRsync(800));
    test::writeRandomFile(inHome("Blocker/big"), 2 * 1024 * 1024, 4);
    makeMover();
    const QUuid blocker = enqueue(inHome("Blocker"), drive);
    const QUuid id = enqueue(inHome("Letters"), drive);
    writeStatus(drive, "UUID-B");
    ASSERT_TRUE(waitUntilTerminal(id, 60000));
    EXPECT_EQ(jobOf(id).manifest.lastError,
              "Destination drive UUID mismatch (UUID-A vs UUID-B). Refusing to "
              "write into a different "
              "drive.");
    EXPECT_TRUE(QFileInfo::exists(inHome("Letters/a.txt")));
    mover->cancel(blocker);
}
