#include "TierFixture.h"

#include "core/DriveIdentity.h"

#include <QFileInfo>

using namespace quindle;

class Pairing : public test::TierTest {
protected:
    void SetUp() override {
        TierTest::SetUp();
        setEnv("QUINDLE_MACHINE_NAME", "Desk");
        left = dir(inHome("Working/App"));
        right = dir(drive + "/Working/App");
    }
    QString left, right;
};

TEST_F(Pairing, FoldersOfTheSameNamePairWhateverTheirParentsButTheCaseMustMatch) {
    const QString elsewhere = dir(drive + "/Other/place/App");
    pairing->setPaths(left, elsewhere);
    ASSERT_TRUE(pairing->pair());
    EXPECT_EQ(pairing->pairRoot(Side::Left), left);
    EXPECT_EQ(pairing->pairRoot(Side::Right), elsewhere);
    EXPECT_EQ(lastToast(),
              "Paired. Move arrows now preserve the relative hierarchy from these roots.");
    EXPECT_TRUE(history->find(left, elsewhere));

    pairing->unpair();
    pairing->setPaths(left, dir(drive + "/Working/app"));
    EXPECT_FALSE(pairing->pair());
    EXPECT_FALSE(pairing->isPaired());
    EXPECT_EQ(pairing->pairControlStatus(), "Folder names differ");
    EXPECT_FALSE(PairingModel::rootsMirrored("/", "/")) << "an empty name never pairs";
}

TEST_F(Pairing, AnExplicitUnpairBlocksAutomaticRepairingOfExactlyThatPair) {
    const QString docsLeft = dir(inHome("Docs")), docsRight = dir(drive + "/Docs");
    history->record(left, right);
    history->record(docsLeft, docsRight);

    pairing->setPaths(left, right);
    ASSERT_TRUE(pairing->isPaired()) << "a remembered pair pairs silently";
    EXPECT_TRUE(toasts.isEmpty());
    pairing->unpair();
    EXPECT_EQ(pairing->explicitlyUnpairedID(), left + "|" + right);
    EXPECT_EQ(lastToast(), "Unpaired. Panes navigate independently.");

    pairing->setPaths(left, right);
    EXPECT_FALSE(pairing->isPaired()) << "staying on the same folders";
    pairing->setPaths(docsLeft, docsRight);
    EXPECT_TRUE(pairing->isPaired()) << "another remembered pair";
    EXPECT_FALSE(pairing->explicitlyUnpairedID());
    EXPECT_EQ(history->records().first().leftPath, docsLeft) << "its time was refreshed";
}

TEST_F(Pairing, PanesNavigateInLockstepAndStopAtThePairRoot) {
    dir(left + "/Src/deep");
    dir(right + "/Src/deep");
    dir(left + "/OnlyLeft");
    test::writeText(left + "/file.txt", "x");
    pairing->setPaths(left, right);
    pairing->pair();
    pairing->setSelection(Side::Right, {"Src"});

    EXPECT_FALSE(pairing->enter(Side::Left, "file.txt"));
    ASSERT_TRUE(pairing->enter(Side::Left, "Src"));
    EXPECT_EQ(pairing->path(Side::Right), right + "/Src");
    EXPECT_TRUE(pairing->selection(Side::Right).isEmpty());
    pairing->navigateUp(Side::Right);
    EXPECT_EQ(pairing->path(Side::Left), left);
    EXPECT_EQ(pairing->path(Side::Right), right);

    toasts.clear();
    pairing->navigateUp(Side::Left);
    EXPECT_EQ(lastToast(), "Already at the pair root — unpair first to navigate higher.");
    EXPECT_EQ(pairing->path(Side::Left), left);

    ASSERT_TRUE(pairing->enter(Side::Left, "OnlyLeft"));
    EXPECT_EQ(pairing->path(Side::Right), right) << "no folder of that name on the right";
    pairing->navigateUp(Side::Left);
    EXPECT_EQ(pairing->path(Side::Right), right) << "the pane that stayed does not leave its root";
    EXPECT_TRUE(pairing->pairAncestorValid());
}

TEST_F(Pairing, RestoringARecentPairWarnsAboutAMissingFolderOrDifferentNames) {
    pairing->restore(PairRecord{left, drive + "/Gone/App", {}, false});
    EXPECT_EQ(lastToast(), "Loaded paths, but the right folder is currently unreachable (drive "
                           "unplugged?). Reconnect and try Pair again.");
    EXPECT_EQ(pairing->path(Side::Right), drive + "/Gone/App");
    EXPECT_FALSE(pairing->isPaired());

    pairing->restore(PairRecord{left, dir(drive + "/Renamed"), {}, false});
    EXPECT_EQ(lastToast(), "Loaded paths, but basenames no longer match — pair manually if you "
                           "still want this pairing.");
    EXPECT_FALSE(pairing->isPaired());

    pairing->restore(PairRecord{left, right, {}, false});
    EXPECT_TRUE(pairing->isPaired());
    EXPECT_TRUE(history->find(left, right));
}

TEST_F(Pairing, DestinationsKeepTheRelativeHierarchyInBothDirections) {
    pairing->setPaths(left, right);
    pairing->pair();
    EXPECT_EQ(pairing->destinationParent(Side::Left, left + "/a/b"), right + "/a/b");
    EXPECT_EQ(pairing->destinationParent(Side::Right, right + "/a"), left + "/a");
    EXPECT_EQ(pairing->destinationParent(Side::Left, left + "-sibling"), std::nullopt);
    pairing->setPath(Side::Right, drive);
    EXPECT_FALSE(pairing->pairAncestorValid());
}

TEST_F(Pairing, GoingHomeOutsideThePairScopeUnpairsWithoutBlockingTheReturn) {
    history->record(left, right);
    pairing->setPaths(left, right);
    ASSERT_TRUE(pairing->isPaired());
    pairing->navigateHome(Side::Right);
    EXPECT_EQ(lastToast(), "Home is outside the pair scope — unpairing.");
    EXPECT_EQ(pairing->path(Side::Right), WorkingFolder::path(drive));
    EXPECT_FALSE(pairing->isPaired());
    EXPECT_FALSE(pairing->explicitlyUnpairedID());

    pairing->setPath(Side::Right, right);
    EXPECT_TRUE(pairing->isPaired());
    pairing->homeBoth();
    EXPECT_EQ(pairing->path(Side::Left), home());
    EXPECT_FALSE(pairing->isPaired());
}

TEST_F(Pairing, TheMirrorFolderIsCreatedOnTheDriveWhenMissing) {
    pairing->setPaths(left, drive);
    const QString mirror = WorkingFolder::path(drive) + "/Working/App";
    ASSERT_EQ(pairing->mirrorOffer(),
              (MirrorOffer{mirror, false,
                           "Create the mirror folder on NVMe and switch the right pane to it."}));
    ASSERT_TRUE(pairing->goToMirror());
    EXPECT_TRUE(QFileInfo(mirror).isDir());
    EXPECT_EQ(pairing->path(Side::Right), mirror);
    EXPECT_TRUE(pairing->mirrorOffer()->exists);

    pairing->setPath(Side::Left, "/usr");
    EXPECT_FALSE(pairing->mirrorOffer()) << "only for folders in the home";
    driveReport.path = inHome("unplugged");
    pairing->setPath(Side::Left, left);
    EXPECT_FALSE(pairing->mirrorOffer()) << "no drive mounted";
}
