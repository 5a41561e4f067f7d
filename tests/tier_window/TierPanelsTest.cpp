#include "TierWindowFixture.h"

#include "mover/ManifestStore.h"
#include "ui/ManifestsPanel.h"
#include "ui/MoverLogPanel.h"
#include "ui/MoverSettingsPanel.h"
#include "ui/Popover.h"
#include "ui/RecentPairsPanel.h"
#include "ui/Theme.h"
#include "ui/ToastLabel.h"

#include <QAccessible>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace quindle;
using namespace std::chrono_literals;

namespace {

bool shows(QWidget *root, const QString &text) {
    for (QLabel *label : root->findChildren<QLabel *>())
        if (label->isVisibleTo(root) && label->text() == text)
            return true;
    return false;
}

} // namespace

using TierPanels = test::TierWindowTest;

TEST_F(TierPanels, AToastIsAnnouncedColouredByToneAndFadesByItself) {
    ui::ToastLabel toast;
    toast.setGeometry(300, 300, 400, 60); // away from the pointer, which would keep it up
    toast.setHoldTime(30ms);
    toast.post(Toast{"Paired. Move arrows now preserve the relative hierarchy from these roots.",
                     Tone::Success});

    EXPECT_TRUE(toast.isVisible());
    QLabel *text = toast.textLabel();
    EXPECT_EQ(text->accessibleName(), toast.current().text);
    EXPECT_EQ(text->accessibleDescription(), toast.current().text);
    // What a screen reader reads; the offscreen platform has no bridge to observe the alert.
    QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(text);
    ASSERT_NE(spoken, nullptr);
    EXPECT_EQ(spoken->text(QAccessible::Name), toast.current().text);
    EXPECT_TRUE(toast.styleSheet().contains(ui::statusColor(ui::Tone::Good).name()));
    EXPECT_TRUE(test::waitUntil([&] { return !toast.isVisible(); }, 5000));

    toast.post(Toast{"Still no GNU rsync.", Tone::Error});
    EXPECT_TRUE(toast.isVisible()) << "a new message comes back after a fade";
    EXPECT_TRUE(toast.styleSheet().contains(ui::statusColor(ui::Tone::Bad).name()));
}

TEST_F(TierPanels, SettingsFollowTheControlsAndTheControlsFollowTheSettings) {
    ui::MoverSettingsPanel panel(*settings);
    auto *parallel = test::named<QSpinBox>(&panel, MoverSettings::parallelTransfersTitle());
    ASSERT_NE(parallel, nullptr);
    EXPECT_EQ(parallel->minimum(), 1);
    EXPECT_EQ(parallel->maximum(), 16);
    EXPECT_EQ(parallel->value(), 5);
    EXPECT_EQ(parallel->accessibleDescription(), MoverSettings::parallelTransfersHelp());
    parallel->setValue(9);
    EXPECT_EQ(settings->maxConcurrent(), 9);
    EXPECT_EQ(MoverSettings().maxConcurrent(), 9) << "remembered in the preferences";

    auto *thorough = test::named<QRadioButton>(&panel, title(VerificationLevel::Thorough));
    ASSERT_NE(thorough, nullptr);
    EXPECT_TRUE(test::named<QRadioButton>(&panel, title(VerificationLevel::Fast))->isChecked());
    EXPECT_TRUE(shows(&panel, description(VerificationLevel::Thorough)));
    thorough->click();
    EXPECT_EQ(settings->verificationLevel(), VerificationLevel::Thorough);

    settings->setMaxConcurrent(2);
    settings->setVerificationLevel(VerificationLevel::Off);
    EXPECT_EQ(parallel->value(), 2);
    EXPECT_TRUE(test::named<QRadioButton>(&panel, title(VerificationLevel::Off))->isChecked());
    EXPECT_FALSE(thorough->isChecked());
}

TEST_F(TierPanels, TheLiveLogShowsItsEmptyTextsThenRenderedLinesCopiesAndClears) {
    ui::MoverLogPanel panel(log);
    panel.show();
    EXPECT_TRUE(shows(&panel, MoverLog::emptyTitle()));
    EXPECT_TRUE(shows(&panel, MoverLog::emptyHint()));
    QPushButton *copy = test::named<QPushButton>(&panel, "Copy all");
    EXPECT_FALSE(copy->isEnabled());

    const QUuid job = QUuid::createUuid();
    log.append(MoverLogLine::Source::Command, "rsync -aHAX --info=progress2 a/ b/", job);
    log.append(MoverLogLine::Source::Info, "rsync started (pid 42)", job);
    ASSERT_TRUE(test::waitUntil([&] { return panel.view()->isVisible(); }));
    ASSERT_TRUE(test::waitUntil([&] { return panel.view()->toPlainText() == log.renderedText(); }));
    log.append(MoverLogLine::Source::Phase, "copying → hashing", job);
    ASSERT_TRUE(test::waitUntil([&] { return panel.view()->toPlainText() == log.renderedText(); }))
        << "later lines are added to the ones shown";
    EXPECT_FALSE(shows(&panel, MoverLog::emptyTitle()));

    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), log.renderedText());
    EXPECT_TRUE(panel.message()->isVisible());
    EXPECT_EQ(panel.message()->current().text, MoverLog::copiedMessage(3));

    test::named<QPushButton>(&panel, "Clear the log")->click();
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_TRUE(shows(&panel, MoverLog::emptyTitle()));
    EXPECT_TRUE(panel.view()->toPlainText().isEmpty());
}

TEST_F(TierPanels, RecentPairsRestorePinForgetAndClearThroughTheirRows) {
    const QString music = dir(inHome("Music"));
    const QString driveMusic = dir(drive + "/Music");
    history->record(inHome("Videos"), drive + "/Videos");
    history->record(inHome("Books"), drive + "/Books");
    history->record(music, driveMusic);
    ui::RecentPairsPanel panel(*history, *pairing);
    bool restored = false;
    QObject::connect(&panel, &ui::RecentPairsPanel::restored, [&] { restored = true; });
    panel.show();

    test::named(&panel, "Music")->click();
    EXPECT_TRUE(restored);
    EXPECT_EQ(pairing->path(Side::Left), music);
    EXPECT_EQ(pairing->path(Side::Right), driveMusic);
    EXPECT_TRUE(pairing->isPaired());

    test::named(&panel, "Pin Books")->click();
    EXPECT_TRUE(history->find(inHome("Books"), drive + "/Books")->isPinned);
    ASSERT_NE(test::named(&panel, "Unpin Books"), nullptr) << "the row was rebuilt pinned";
    test::named(&panel, "Forget Videos")->click();
    EXPECT_FALSE(history->find(inHome("Videos"), drive + "/Videos"));

    test::named(&panel, "Clear recent pairs")->click();
    ASSERT_EQ(history->records().size(), 1);
    EXPECT_EQ(history->records().first().label(), "Books") << "pinned pairs survive a clear";
    EXPECT_FALSE(test::named(&panel, "Clear recent pairs")->isEnabled());
    test::named(&panel, "Forget Books")->click();
    EXPECT_TRUE(shows(&panel, ui::RecentPairsPanel::emptyText()));
}

TEST_F(TierPanels, TheManifestsPopoverListsTheMoversJobsRevertsThroughTheModelAndDeletes) {
    const QString left = dir(inHome("Projects"));
    const QString right = dir(drive + "/Projects");
    open(left, right);
    ui::PopoverButton *button = window->manifestsButton();
    auto *panel = static_cast<ui::ManifestsPanel *>(button->popover()->content());
    button->click();
    EXPECT_TRUE(button->popover()->isVisible());
    EXPECT_TRUE(shows(panel, ui::ManifestsPanel::emptyText()));

    // A completed plain move whose source came back meanwhile: the revert is refused.
    test::writeText(left + "/report/a.txt", "back again");
    test::writeText(right + "/report/a.txt", "moved");
    MoveManifest done;
    done.id = QUuid::createUuid();
    done.src = left + "/report";
    done.dstParent = right;
    done.finalDst = right + "/report";
    done.startedAt = QDateTime::currentDateTimeUtc();
    done.phase = MovePhase::Done;
    ManifestStore::write(done);
    mover->recoverPendingManifests();
    ASSERT_TRUE(test::waitUntil([&] { return panel->manifests().size() == 1; }));
    EXPECT_FALSE(shows(panel, ui::ManifestsPanel::emptyText()));
    EXPECT_TRUE(shows(panel, "Completed"));

    QPushButton *revert = test::named<QPushButton>(panel, "Revert report");
    EXPECT_EQ(revert->accessibleDescription(), ui::ManifestsPanel::revertHelp());
    revert->click();
    EXPECT_TRUE(window->toast()->current().text.startsWith(
        "Something already exists at the original source path " + left + "/report."));
    EXPECT_EQ(mover->jobs().size(), 1) << "no reverse move was enqueued";

    test::named<QPushButton>(panel, "Delete manifest of report")->click();
    ASSERT_TRUE(test::waitUntil([&] { return panel->manifests().isEmpty(); }));
    EXPECT_FALSE(QFileInfo::exists(ManifestStore::fileFor(done.id)));
    EXPECT_TRUE(QFileInfo::exists(right + "/report/a.txt")) << "the moved data stays";
    EXPECT_TRUE(shows(panel, ui::ManifestsPanel::emptyText()));
}
