#include "TierWindowFixture.h"

#include "support/FakeExecutables.h"
#include "transfers/SyncManager.h"
#include "ui/MoveJobList.h"
#include "ui/RsyncBannerView.h"
#include "ui/ToastLabel.h"
#include "ui/TransferCloudMoves.h"

#include <QAbstractSpinBox>
#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

using namespace quindle;
using ui::TierWindow;

namespace {

const QList<MoveAction> kActions = {MoveAction::Move, MoveAction::Merge, MoveAction::Relocate};

bool showsLabel(QWidget *root, const QString &text) {
    for (QLabel *label : root->findChildren<QLabel *>())
        if (label->isVisible() && label->text() == text)
            return true;
    return false;
}

} // namespace

class TierWindowFlow : public test::TierWindowTest {
protected:
    void SetUp() override {
        TierWindowTest::SetUp();
        left = dir(inHome("Projects"));
        right = dir(drive + "/Projects");
    }
    void openPaired() {
        open(left, right);
        test::named(window.get(), "Pair")->click();
        ASSERT_TRUE(pairing->isPaired());
    }
    QString left, right;
};

TEST_F(TierWindowFlow, RelocatingASelectedSubfolderEndsCompletedWithLinksAtTheSource) {
    const int files = test::generateTree(
        left + "/app-src",
        {.seed = 7, .files = 12, .folders = 3, .symlink = false, .hardLink = false});
    const auto before = test::treeEntries(left + "/app-src");
    openPaired();
    ASSERT_TRUE(listed(Side::Left));
    click(Side::Left, "app-src");
    EXPECT_EQ(pairing->selection(Side::Left), QStringList{"app-src"});

    window->arrow(MoveAction::Relocate, Side::Right)->click();
    ASSERT_EQ(mover->jobs().size(), 1);
    const QUuid id = mover->jobs().first().id();
    EXPECT_TRUE(window->toast()->isVisible());
    EXPECT_TRUE(window->toast()->current().text.startsWith("Queued 1 relocate"));
    ASSERT_TRUE(test::waitUntil(
        [&] {
            ui::MoveJobRow *row = window->jobList()->row(id);
            return row && row->statusText() == "Completed";
        },
        30000))
        << window->jobList()->row(id)->statusText().toStdString();

    int links = 0;
    for (QDirIterator it(left + "/app-src", QDir::Files | QDir::System | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo link(it.next());
        EXPECT_TRUE(link.isSymLink()) << link.filePath().toStdString();
        EXPECT_TRUE(link.symLinkTarget().startsWith(right + "/app-src/"));
        links += link.isSymLink();
    }
    EXPECT_EQ(links, files);
    EXPECT_EQ(test::treeEntries(right + "/app-src"), before);
    EXPECT_TRUE(pairing->selection(Side::Left).isEmpty()) << "a finished move leaves the selection";
}

TEST_F(TierWindowFlow, ArrowsStayDisabledWithTheModelsReasonUntilThePanesArePaired) {
    const QString other = dir(drive + "/Elsewhere");
    open(left, other);
    QPushButton *pair = test::named<QPushButton>(window.get(), "Pair");
    EXPECT_FALSE(pair->isEnabled());
    EXPECT_TRUE(showsLabel(window.get(), "Folder names differ"));
    // Disabled ones say why; enabled ones explain their action.
    const auto expectArrows = [&](bool enabled) {
        for (MoveAction action : kActions)
            for (Side to : {Side::Left, Side::Right}) {
                QToolButton *arrow = window->arrow(action, to);
                EXPECT_EQ(arrow->isEnabled(), enabled);
                const QString why = enabled ? helpText(action) : PairingModel::movesNeedPairText();
                EXPECT_TRUE(arrow->accessibleDescription().contains(why))
                    << arrow->accessibleDescription().toStdString();
                EXPECT_EQ(arrow->toolTip(), arrow->accessibleDescription());
            }
    };
    expectArrows(false);
    EXPECT_TRUE(showsLabel(window.get(), PairingModel::movesNeedPairText()));

    // Typing the mirrored folder into the right pane's path bar makes pairing possible.
    QLineEdit *path = test::named<QLineEdit>(window.get(), "Folder: NVMe");
    path->setText(right);
    QTest::keyClick(path, Qt::Key_Return);
    EXPECT_EQ(pairing->path(Side::Right), right);
    EXPECT_TRUE(pair->isEnabled());
    pair->click();
    expectArrows(true);
    EXPECT_FALSE(showsLabel(window.get(), PairingModel::movesNeedPairText()));

    test::named(window.get(), "Unpair")->click();
    EXPECT_FALSE(pairing->isPaired());
    expectArrows(false);
    EXPECT_EQ(window->toast()->current().text, "Unpaired. Panes navigate independently.");
}

TEST_F(TierWindowFlow, WithoutGnuRsyncTheBannerExplainsTheDisabledArrowsUntilDismissed) {
    useRsync(inHome("no-such-rsync"));
    openPaired();
    auto *bannerView = window->findChild<ui::RsyncBannerView *>();
    ASSERT_NE(bannerView, nullptr);
    EXPECT_TRUE(bannerView->isVisible());
    const QString why =
        "GNU rsync 3.x is required — see the red banner above for install instructions.";
    EXPECT_FALSE(window->arrow(MoveAction::Merge, Side::Right)->isEnabled());
    EXPECT_EQ(window->arrow(MoveAction::Merge, Side::Right)->accessibleDescription(), why);

    test::named(window.get(), "Reload Probe")->click();
    ASSERT_TRUE(test::waitUntil([&] { return !banner->isReloading(); }));
    EXPECT_TRUE(window->toast()->current().text.startsWith("Still no GNU rsync"));
    EXPECT_EQ(window->toast()->current().tone, Tone::Error);

    test::named(window.get(), "Dismiss the rsync banner")->click();
    EXPECT_FALSE(bannerView->isVisible());
    EXPECT_FALSE(window->arrow(MoveAction::Merge, Side::Right)->isEnabled())
        << "dismissing the banner does not install rsync";
}

TEST_F(TierWindowFlow, AReplaceWaitsForConfirmationAndItsCancelEnqueuesNothing) {
    test::writeText(left + "/site/index.html", "new");
    test::writeText(right + "/site/keep.txt", "old");
    openPaired();
    ASSERT_TRUE(listed(Side::Left));
    click(Side::Left, "site");

    window->arrow(MoveAction::Move, Side::Right)->click();
    ASSERT_TRUE(test::waitUntil([&] { return window->confirmation() != nullptr; }));
    QMessageBox *box = window->confirmation();
    ASSERT_TRUE(operations->pendingConfirmation());
    EXPECT_EQ(box->text(), operations->pendingConfirmation()->title());
    EXPECT_EQ(box->informativeText(), operations->pendingConfirmation()->message());
    box->button(QMessageBox::Cancel)->click();
    ASSERT_TRUE(test::waitUntil([&] { return window->confirmation() == nullptr; }));
    EXPECT_FALSE(operations->pendingConfirmation());
    EXPECT_TRUE(mover->jobs().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(right + "/site/keep.txt"));

    // The same request again, agreed to this time.
    window->arrow(MoveAction::Move, Side::Right)->click();
    ASSERT_TRUE(test::waitUntil([&] { return window->confirmation() != nullptr; }));
    test::named(window->confirmation(), "Replace")->click();
    ASSERT_EQ(mover->jobs().size(), 1);
    EXPECT_EQ(mover->jobs().first().manifest.conflictPolicy, MoveConflictPolicy::Override);
    EXPECT_EQ(window->toast()->current().tone, Tone::Warning) << "an override replaced something";
}

TEST_F(TierWindowFlow, TheQueueShowsItsEmptyTextUntilAJobArrivesAndAgainAfterClearFinished) {
    test::writeText(left + "/notes/a.txt", "a");
    open(left, right);
    const QString empty = TierOperations::emptyQueueText();
    EXPECT_TRUE(showsLabel(window.get(), empty));
    QPushButton *clear = test::named<QPushButton>(window.get(), "Clear finished");
    QPushButton *cancelAll = test::named<QPushButton>(window.get(), "Cancel all");
    EXPECT_FALSE(clear->isEnabled());
    EXPECT_FALSE(cancelAll->isEnabled());

    const QUuid id = enqueue(left + "/notes", right);
    EXPECT_FALSE(showsLabel(window.get(), empty));
    EXPECT_TRUE(cancelAll->isEnabled());
    ASSERT_TRUE(waitForPhase(id, MovePhase::Done));
    EXPECT_EQ(window->jobList()->row(id)->statusText(), "Completed");
    EXPECT_TRUE(clear->isEnabled());
    EXPECT_FALSE(cancelAll->isEnabled());

    clear->click();
    EXPECT_TRUE(showsLabel(window.get(), empty));
    EXPECT_EQ(window->jobList()->row(id), nullptr);
}

TEST_F(TierWindowFlow, ARowCancelsItsOwnMoveAndPauseHoldsTheQueue) {
    useRsync(slowRsync(50));
    test::writeRandomFile(left + "/big/blob", 2 * 1024 * 1024, 3);
    test::writeText(left + "/small/a.txt", "a");
    open(left, right);
    test::named(window.get(), "Pause")->click();
    EXPECT_TRUE(mover->isPaused());
    ASSERT_NE(test::named(window.get(), "Resume"), nullptr);

    const QUuid small = enqueue(left + "/small", right);
    EXPECT_EQ(window->jobList()->row(small)->statusText(), "Queued")
        << "nothing starts while paused";
    test::named(window.get(), "Resume")->click();
    EXPECT_FALSE(mover->isPaused());
    ASSERT_TRUE(waitForPhase(small, MovePhase::Done));

    const QUuid big = enqueue(left + "/big", right);
    ASSERT_TRUE(waitForPhase(big, MovePhase::Copying));
    test::named(window.get(), "Cancel big")->click();
    ASSERT_TRUE(waitForPhase(big, MovePhase::Cancelled));
    EXPECT_EQ(window->jobList()->row(big)->statusText(), "Cancelled");
    EXPECT_FALSE(window->jobList()->row(big)->cancelButton()->isEnabled());
    EXPECT_EQ(phaseOf(small), MovePhase::Done) << "the other row's move is untouched";
    EXPECT_TRUE(QFileInfo::exists(left + "/big/blob")) << "cancelling never loses the source";
}

TEST_F(TierWindowFlow, EnterOpensAFolderInLockstepAndTheSelectionFollowsTheModel) {
    test::writeText(left + "/web/css/site.css", "body{}");
    test::writeText(left + "/web/index.html", "<p>");
    test::writeText(left + "/readme.txt", "r");
    dir(right + "/web");
    openPaired();
    ASSERT_TRUE(listed(Side::Left));
    EXPECT_EQ(window->pane(Side::Left)->shownNames(), (QStringList{"web", "readme.txt"}))
        << "folders first";

    click(Side::Left, "web");
    click(Side::Left, "readme.txt", Qt::ControlModifier);
    EXPECT_EQ(pairing->selection(Side::Left), (QStringList{"web", "readme.txt"}));
    test::named(window.get(), "Refresh: Internal disk")->click();
    EXPECT_TRUE(window->pane(Side::Left)->listing()->selectedItems().isEmpty())
        << "a refresh clears the selection in the view too";

    QTreeWidget *list = window->pane(Side::Left)->listing();
    list->setFocus();
    list->setCurrentItem(row(Side::Left, "web"));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(pairing->path(Side::Left), left + "/web");
    EXPECT_EQ(pairing->path(Side::Right), right + "/web") << "the drive pane follows";
    ASSERT_TRUE(listed(Side::Left));
    EXPECT_EQ(window->pane(Side::Left)->shownNames(), (QStringList{"css", "index.html"}));

    QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(pairing->path(Side::Left), left);
    EXPECT_EQ(pairing->path(Side::Right), right);
}

TEST_F(TierWindowFlow, EveryControlHasANameForScreenReadersAndTakesTheKeyboard) {
    test::writeText(left + "/notes/a.txt", "a");
    history->record(inHome("Music"), drive + "/Music");
    openPaired();
    ASSERT_TRUE(waitForPhase(enqueue(left + "/notes", right), MovePhase::Done));

    int controls = 0;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        // Parts Qt builds inside a control (a list's header, a spin box's editor) are its own.
        bool inner = widget->objectName().startsWith("qt_");
        for (QWidget *up = widget->parentWidget(); up && up != window.get();
             up = up->parentWidget())
            inner = inner || qobject_cast<QAbstractItemView *>(up) ||
                    qobject_cast<QAbstractSpinBox *>(up);
        const bool interactive =
            qobject_cast<QAbstractButton *>(widget) || qobject_cast<QAbstractItemView *>(widget) ||
            qobject_cast<QAbstractSpinBox *>(widget) || qobject_cast<QLineEdit *>(widget) ||
            qobject_cast<QPlainTextEdit *>(widget);
        if (inner || !(interactive || qobject_cast<QProgressBar *>(widget)))
            continue;
        ++controls;
        EXPECT_FALSE(widget->accessibleName().isEmpty())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        if (interactive) {
            EXPECT_TRUE(widget->focusPolicy() & Qt::TabFocus)
                << widget->accessibleName().toStdString() << " is out of the keyboard's reach";
        }
    }
    EXPECT_GT(controls, 40) << "the popovers' controls are counted too";
}

// A cloud folder on the right: rclone lists it, and a move leaves the left pane file by file.
TEST_F(TierWindowFlow, MovingAFolderToACloudAccountEmptiesTheLeftPane) {
    const QString aliased = dir(inHome("aliased"));
    test::writeText(inHome("rclone.conf"),
                    QStringLiteral("[here]\ntype = alias\nremote = %1\n").arg(aliased).toUtf8());
    setEnv("RCLONE_CONFIG", inHome("rclone.conf"));
    dir(aliased + "/Projects/already there");
    test::generateTree(left + "/album", {.seed = 3,
                                         .files = 8,
                                         .folders = 0,
                                         .symlink = false,
                                         .hardLink = false,
                                         .emptyFolder = false});
    const auto before = test::treeEntries(left + "/album");
    SyncManager transfers(nullptr);
    transfers.start();
    ASSERT_TRUE(test::waitUntil([&] { return transfers.rcloneProbed(); }, 30000));
    ui::TransferCloudMoves cloud(transfers);
    operations->setCloudMoves(&cloud);

    open(left, "here:Projects");
    ASSERT_TRUE(test::waitUntil(
        [&] { return window->pane(Side::Right)->shownNames() == QStringList{"already there"}; },
        30000));
    test::named(window.get(), "Pair")->click();
    ASSERT_TRUE(pairing->isPaired());
    click(Side::Left, "album");
    window->arrow(MoveAction::Merge, Side::Right)->click();
    EXPECT_TRUE(lastToast().startsWith("Queued 1 cloud merge transfer to here:Projects"))
        << lastToast().toStdString();
    ASSERT_EQ(transfers.jobs().size(), 1);
    EXPECT_EQ(transfers.jobs().first().mode, JobMode::Move);
    EXPECT_EQ(transfers.jobs().first().transfers, 8);
    EXPECT_EQ(transfers.jobs().first().destination, "here:Projects/album");

    EXPECT_TRUE(test::waitUntil(
        [&] { return !window->pane(Side::Left)->shownNames().contains("album"); }, 60000));
    EXPECT_EQ(transfers.jobs().first().state, JobState::Completed);
    EXPECT_FALSE(QFileInfo::exists(left + "/album"));
    EXPECT_EQ(test::treeEntries(aliased + "/Projects/album"), before);
    EXPECT_TRUE(
        test::waitUntil([&] { return window->pane(Side::Right)->shownNames().contains("album"); }));
}

TEST_F(TierWindowFlow, AFailedCloudListingSaysSoInThePane) {
    test::FakeExecutables fakes;
    setEnv("QUINDLE_RCLONE",
           fakes.add("rclone",
                     "echo 'Failed to create file system: didn'\"'\"'t find section' >&2; exit 1"));
    open(left, right);
    QLineEdit *path = test::named<QLineEdit>(window.get(), "Folder: NVMe");
    path->setText("nowhere:Photos");
    QTest::keyClick(path, Qt::Key_Return);
    EXPECT_EQ(pairing->path(Side::Right), "nowhere:Photos");
    ASSERT_TRUE(listed(Side::Right));
    EXPECT_EQ(window->pane(Side::Right)->statusText(),
              "We couldn't list this folder\nCouldn't list this folder. Details: "
              "Failed to create file system: didn't find section");
}
