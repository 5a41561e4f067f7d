#include "MoverFixture.h"

#include "mover/ManifestStore.h"
#include "mover/RelocateWalk.h"

#include <QFile>
#include <QFileInfo>

using namespace quindle;
using Source = MoverLogLine::Source;

class Relocate : public test::MoverTest {
protected:
    // Three files, two folders and one link already in place.
    void makeSmallTree(const QString &root) {
        test::writeText(root + "/a.txt", "a");
        test::writeText(root + "/sub/b.txt", "b");
        test::writeText(root + "/sub/deeper/c.txt", "c");
        QFile::link("a.txt", root + "/sub/link");
    }
};

TEST_F(Relocate, AMoveWithLinksLeavesRealFoldersAndLinksToTheCopies) {
    makeSmallTree(inHome("Code"));
    makeMover();
    const QUuid id = enqueue(inHome("Code"), drive, MoveConflictPolicy::Merge, true);
    ASSERT_TRUE(endsDone(id));

    EXPECT_TRUE(QFileInfo(inHome("Code/sub/deeper")).isDir());
    EXPECT_FALSE(QFileInfo(inHome("Code/sub/deeper")).isSymLink());
    EXPECT_EQ(QFileInfo(inHome("Code/sub/deeper/c.txt")).symLinkTarget(),
              drive + "/Code/sub/deeper/c.txt");
    EXPECT_EQ(test::readText(inHome("Code/a.txt")), "a"); // read through the link
    EXPECT_EQ(QFile::symLinkTarget(inHome("Code/sub/link")),
              inHome("Code/sub/a.txt")); // the old link is untouched
    EXPECT_EQ(logTexts(id, Source::Cleanup).last(),
              "relocate tree walk done: 3 relinked, 3 skipped (dirs/symlinks), 0 error(s)");
}

TEST_F(Relocate, AFileWithoutACopyStaysAndTheMoveSaysSo) {
    makeSmallTree(inHome("src"));
    makeSmallTree(inHome("dst"));
    QFile::remove(inHome("dst/sub/b.txt"));
    const RelocateResult result = relocateSourceAsFileSymlinks(inHome("src"), inHome("dst"));
    EXPECT_EQ(result.filesRelinked, 2);
    EXPECT_EQ(result.filesSkipped, 3);
    EXPECT_EQ(result.errorCount, 1);
    EXPECT_EQ(result.errorSummary, "Missing dst counterpart: sub/b.txt");
    EXPECT_FALSE(QFileInfo(inHome("src/sub/b.txt")).isSymLink());
    EXPECT_EQ(test::readText(inHome("src/sub/b.txt")), "b");

    EXPECT_EQ(relocateSourceAsFileSymlinks(inHome("missing"), inHome("dst")).errorSummary,
              QStringLiteral("Source not found: ") + inHome("missing"));
}

TEST_F(Relocate, ASingleFileBecomesOneLink) {
    test::writeRandomFile(inHome("movie.mkv"), 200000, 1);
    const QByteArray digest = test::entryOf(inHome("movie.mkv"));
    ASSERT_TRUE(digest.startsWith("f:"));
    makeMover();
    const QUuid id =
        enqueue(inHome("movie.mkv"), drive + "/Films", MoveConflictPolicy::Merge, true);
    ASSERT_TRUE(endsDone(id));
    EXPECT_EQ(QFile::symLinkTarget(inHome("movie.mkv")), drive + "/Films/movie.mkv");
    EXPECT_TRUE(test::entryOf(inHome("movie.mkv")).startsWith("l:"));
    EXPECT_EQ(test::entryOf(drive + "/Films/movie.mkv"), digest);
    EXPECT_EQ(logTexts(id, Source::Cleanup).last(),
              "relocate single-file walk done: 1 relinked, 0 skipped (dirs/symlinks), 0 error(s)");
}

class Revert : public test::MoverTest {
protected:
    MoveManifest completedMove(bool relocate) {
        test::generateTree(inHome("Work/Thesis"), {.seed = 11, .files = 10});
        original = test::treeDigest(inHome("Work/Thesis"));
        const QUuid id =
            enqueue(inHome("Work/Thesis"), drive + "/Work", MoveConflictPolicy::Merge, relocate);
        EXPECT_TRUE(endsDone(id));
        return jobOf(id).manifest;
    }
    QByteArray original;
};

TEST_F(Revert, RefusesEveryUnsafeRevertWithItsReason) {
    makeMover();
    const MoveManifest relocated = completedMove(true);
    EXPECT_EQ(
        mover->revert(relocated),
        QStringLiteral(
            "Something already exists at the original source path %1. Move or delete it before "
            "reverting.")
            .arg(relocated.src));

    MoveManifest unfinished = relocated;
    unfinished.phase = MovePhase::WaitingForDrive;
    EXPECT_EQ(mover->revert(unfinished),
              "Only completed moves can be reverted (phase is waitingForDrive).");

    QDir(inHome("Work")).removeRecursively(); // links and parent gone
    writeStatus(drive, "UUID-B");
    EXPECT_EQ(mover->revert(relocated),
              "Destination drive UUID has changed (UUID-A vs UUID-B). Refusing "
              "to revert across a drive swap.");
    writeStatus(drive, "UUID-A");
    EXPECT_EQ(
        mover->revert(relocated),
        QStringLiteral(
            "The original parent directory %1 no longer exists. Recreate it or revert manually.")
            .arg(inHome("Work")));

    QDir(drive + "/Work/Thesis").removeRecursively();
    EXPECT_EQ(mover->revert(relocated),
              QStringLiteral("The destination %1 is gone — nothing to revert from.")
                  .arg(relocated.finalDst));
}

TEST_F(Revert, BringsAPlainMoveBackAndLeavesTheOriginalRecordAlone) {
    makeMover();
    const MoveManifest moved = completedMove(false);
    ASSERT_FALSE(QFileInfo::exists(moved.src));
    const qsizetype before = mover->jobs().size();
    EXPECT_EQ(mover->revert(moved), std::nullopt);
    ASSERT_EQ(mover->jobs().size(), before + 1);
    const MoveJob back = mover->jobs().last();
    EXPECT_EQ(back.manifest.src, moved.finalDst);
    EXPECT_EQ(back.manifest.dstParent, inHome("Work"));
    EXPECT_EQ(back.manifest.conflictPolicy, MoveConflictPolicy::Merge);
    EXPECT_EQ(back.manifest.driveUUID, std::nullopt);
    ASSERT_TRUE(endsDone(back.id()));
    EXPECT_EQ(test::treeDigest(inHome("Work/Thesis")), original);
    EXPECT_FALSE(QFileInfo::exists(moved.finalDst));
    EXPECT_EQ(jobOf(moved.id).manifest, moved);
}
