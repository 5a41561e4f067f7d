#include "TierFixture.h"

#include "tier/TierListing.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

using namespace quindle;

class MoveRequest : public test::TierTest {
protected:
    void SetUp() override {
        TierTest::SetUp();
        left = dir(inHome("Work/App"));
        right = dir(drive + "/Work/App");
    }
    void pairAndSelect(const QStringList &names) {
        pairing->setPaths(left, right);
        ASSERT_TRUE(pairing->pair());
        pairing->setSelection(Side::Left, names);
    }
    // Two folders and a file on the left; one folder (3 files) and the file already on the right.
    void existingDestinations() {
        test::generateTree(left + "/A", {.seed = 1, .files = 4, .folders = 1});
        test::generateTree(left + "/B", {.seed = 2, .files = 2, .folders = 1});
        test::writeText(left + "/c.txt", "new");
        for (const char *name : {"x", "y", "sub/z"})
            test::writeText(right + "/A/" + name, "old");
        test::writeText(right + "/c.txt", "old");
        pairAndSelect({"A", "B", "c.txt"});
    }
    int jobCount() const { return int(mover->jobs().size()); }

    QString left, right;
};

TEST_F(MoveRequest, RefusalsComeInTheirOrderAndTouchNothing) {
    const QString apps = dir(inHome("apps"));
    dir(apps + "/Editor");
    pairing->setAppsRoots({apps});
    pairing->setPaths(apps, "gdrive:Work/App");
    pairing->setSelection(Side::Left, {"Editor"});
    EXPECT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Relocate),
              TierOperations::Outcome::Refused);
    EXPECT_EQ(lastToast(), noMovableItemsText()) << "applications only, before anything else";

    test::writeText(left + "/notes.txt", "x");
    pairing->setPaths(left, "gdrive:Work/App");
    pairing->setSelection(Side::Left, {"notes.txt"});
    operations->move(Side::Left, Side::Right, MoveAction::Relocate);
    EXPECT_EQ(lastToast(), "Relocate keeps a symlink at the source, which doesn't work for cloud "
                           "destinations. Use Move or Merge instead.")
        << "before the pair is examined";
    operations->move(Side::Left, Side::Right, MoveAction::Merge);
    EXPECT_EQ(lastToast(), "Pair the two panes first. Click the Pair button in the middle column "
                           "once both sides point at folders with the same name.");

    pairAndSelect({"notes.txt"});
    pairing->setPath(Side::Left, inHome("Work"));
    pairing->setSelection(Side::Left, {"App"});
    operations->move(Side::Left, Side::Right, MoveAction::Move);
    EXPECT_EQ(lastToast(), "Source pane has navigated outside its pair root. Repaired — please "
                           "pair again if you still want this transfer.");
    EXPECT_FALSE(pairing->isPaired());

    pairing->setPaths(left, left);
    ASSERT_TRUE(pairing->pair());
    pairing->setSelection(Side::Left, {"notes.txt"});
    operations->move(Side::Left, Side::Right, MoveAction::Merge);
    EXPECT_EQ(lastToast(), "Source and destination resolve to the same folder.");

    EXPECT_EQ(jobCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(left + "/notes.txt"));
    for (const Toast &toast : std::as_const(toasts))
        if (toast.text.startsWith("Paired."))
            EXPECT_EQ(toast.tone, Tone::Success);
        else
            EXPECT_EQ(toast.tone, Tone::Warning) << toast.text.toStdString();
}

TEST_F(MoveRequest, ALinkAlreadyPointingAtTheDestinationIsRemovedAndBothPanesReloadLater) {
    test::writeText(right + "/Data/file", "moved earlier");
    ASSERT_TRUE(QFile::link(right + "/Data", left + "/Data"));
    pairAndSelect({"Data"});
    reloads.clear();
    QElapsedTimer clock;
    clock.start();

    EXPECT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Relocate),
              TierOperations::Outcome::LinksRemoved);
    EXPECT_FALSE(QFileInfo(left + "/Data").isSymLink());
    EXPECT_EQ(test::readText(right + "/Data/file"), "moved earlier");
    EXPECT_EQ(lastToast(), "Removed 1 source symlink already pointing at the destination — no "
                           "data needed to move.");
    EXPECT_EQ(jobCount(), 0);
    EXPECT_TRUE(pairing->selection(Side::Left).isEmpty());
    EXPECT_TRUE(reloads.isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return reloads.size() == 2; }, 5000));
    EXPECT_GE(clock.elapsed(), TierOperations::reloadDelayMs);
    EXPECT_TRUE(reloads.contains(Side::Left) && reloads.contains(Side::Right));
}

TEST_F(MoveRequest, ASetAsideLinkIsMentionedWhenOtherItemsAreQueued) {
    test::writeText(right + "/Data/file", "moved earlier");
    QFile::link(right + "/Data", left + "/Data");
    test::writeText(left + "/notes.txt", "x");
    pairAndSelect({"Data", "notes.txt"});
    EXPECT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Merge),
              TierOperations::Outcome::Enqueued);
    EXPECT_EQ(lastToast(), "Queued 1 merge transfer; also removed 1 stale source symlink already "
                           "pointing at the destination. Progress shown above.");
    ASSERT_EQ(jobCount(), 1);
    EXPECT_EQ(mover->jobs().first().manifest.src, left + "/notes.txt");
}

TEST_F(MoveRequest, AMergeAsksNothingAndCountsTheExistingDestinations) {
    existingDestinations();
    EXPECT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Merge),
              TierOperations::Outcome::Enqueued);
    EXPECT_FALSE(operations->pendingConfirmation());
    EXPECT_EQ(toasts.last(), (Toast{"Queued 3 merge transfers; 2 had pre-existing destinations. "
                                    "Progress shown above.",
                                    Tone::Success}));
    ASSERT_EQ(jobCount(), 3);
    for (const MoveJob &job : mover->jobs()) {
        EXPECT_EQ(job.manifest.dstParent, right);
        EXPECT_EQ(job.manifest.conflictPolicy, MoveConflictPolicy::Merge);
        EXPECT_FALSE(job.manifest.replaceSourceWithSymlink);
    }
}

TEST_F(MoveRequest, TheSameRequestAsAReplaceAsksFirstWithTheFilesAtRisk) {
    existingDestinations();
    EXPECT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Move),
              TierOperations::Outcome::AwaitingConfirmation);
    EXPECT_EQ(jobCount(), 0);
    ASSERT_TRUE(test::waitUntil([&] { return operations->pendingConfirmation().has_value(); }));
    const MoveConfirmRequest request = *operations->pendingConfirmation();
    EXPECT_EQ(request.collisions, (QStringList{right + "/A", right + "/c.txt"}));
    EXPECT_EQ(request.fileCountAtRisk, 4);
    EXPECT_EQ(request.chosen, (QStringList{"A", "B", "c.txt"}));
    EXPECT_EQ(request.title(), "Move: replace existing files at destination?");
    EXPECT_EQ(request.message(), "Items at the destination already exist and would be removed "
                                 "before the source is copied across (4 files): “A”, “c.txt”.");

    operations->confirm();
    EXPECT_FALSE(operations->pendingConfirmation());
    EXPECT_EQ(toasts.last(), (Toast{"Queued 3 move (replace destination) transfers; 2 had "
                                    "pre-existing destinations. Progress shown above.",
                                    Tone::Warning}));
    ASSERT_EQ(jobCount(), 3);
    EXPECT_EQ(mover->jobs().first().manifest.conflictPolicy, MoveConflictPolicy::Override);

    operations->move(Side::Left, Side::Right, MoveAction::Relocate);
    ASSERT_TRUE(test::waitUntil([&] { return operations->pendingConfirmation().has_value(); }));
    EXPECT_EQ(operations->pendingConfirmation()->title(),
              "Relocate: replace existing files at destination?");
    operations->dismissConfirmation();
    operations->confirm();
    EXPECT_EQ(jobCount(), 3) << "a dismissed request is gone";
}

TEST_F(MoveRequest, AFinishedMoveLeavesTheSelectionAndLandsBelowTheMirroredSubfolder) {
    test::generateTree(left + "/Sub/Project", {.seed = 5, .files = 6, .folders = 2});
    test::writeText(left + "/Sub/keep.txt", "stays");
    dir(right + "/Sub");
    pairing->setPaths(left, right);
    pairing->pair();
    ASSERT_TRUE(pairing->enter(Side::Left, "Sub"));
    const QByteArray digest = test::treeDigest(left + "/Sub/Project");

    pairing->setSelection(Side::Left, {"Project"});
    ASSERT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Move),
              TierOperations::Outcome::Enqueued);
    EXPECT_EQ(lastToast(), "Queued 1 move (replace destination) transfer. Progress shown above.");
    pairing->setSelection(Side::Left, {"Project", "keep.txt"});
    ASSERT_TRUE(waitUntilTerminal(mover->jobs().first().id()));
    EXPECT_EQ(phaseOf(mover->jobs().first().id()), MovePhase::Done);
    EXPECT_EQ(test::treeDigest(right + "/Sub/Project"), digest);
    EXPECT_EQ(pairing->selection(Side::Left), QStringList{"keep.txt"});
}

TEST_F(MoveRequest, AMoveOfARelocatedFolderSaysWhatHappenedAndNoRowOutlivesItsFolder) {
    test::generateTree(left + "/proj", {.seed = 6, .files = 8, .folders = 2});
    const auto original = test::treeEntries(left + "/proj");
    pairAndSelect({"proj"});
    ASSERT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Relocate),
              TierOperations::Outcome::Enqueued);
    ASSERT_TRUE(waitUntilTerminal(mover->jobs().last().id()));
    ASSERT_EQ(phaseOf(mover->jobs().last().id()), MovePhase::Done);
    // Once a move ends, both panes list their folders again.
    ASSERT_TRUE(test::waitUntil(
        [&] { return reloads.contains(Side::Left) && reloads.contains(Side::Right); }));

    // Merging the relocated folder again finds its data already there: no copy over itself.
    pairing->setSelection(Side::Left, {"proj"});
    ASSERT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Merge),
              TierOperations::Outcome::Enqueued);
    ASSERT_TRUE(waitUntilTerminal(mover->jobs().last().id()));
    ASSERT_TRUE(test::waitUntil([&] { return lastToast().contains("already on the destination"); }))
        << lastToast().toStdString();
    EXPECT_EQ(lastToast(), "proj was already on the destination; nothing was copied.");
    EXPECT_EQ(test::treeEntries(right + "/proj"), original);
    EXPECT_FALSE(QFileInfo::exists(left + "/proj"));

    // The pane still shows the folder that has gone: the request names it instead of blaming
    // application folders.
    pairing->setSelection(Side::Left, {"proj"});
    EXPECT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Move),
              TierOperations::Outcome::Refused);
    EXPECT_EQ(lastToast(), "proj is no longer in " + left + "; the list was refreshed.");
}

TEST_F(MoveRequest, ALinkIntoTheDestinationIsRefusedAsAToastAndNothingIsLost) {
    test::writeText(right + "/data/blob.bin", "only copy");
    test::writeText(left + "/data/other.txt", "other");
    ASSERT_TRUE(QFile::link(right + "/data/blob.bin", left + "/data/blob.bin"));
    pairAndSelect({"data"});
    ASSERT_EQ(operations->move(Side::Left, Side::Right, MoveAction::Merge),
              TierOperations::Outcome::Enqueued);
    ASSERT_TRUE(waitUntilTerminal(mover->jobs().last().id()));
    ASSERT_TRUE(test::waitUntil([&] { return lastToast().contains("links into the destination"); }))
        << lastToast().toStdString();
    EXPECT_TRUE(lastToast().startsWith("data: " + left + "/data/blob.bin links into"));
    EXPECT_EQ(test::readText(right + "/data/blob.bin"), "only copy");
    EXPECT_EQ(test::readText(left + "/data/other.txt"), "other");
}
