#include "ShellFixture.h"

#include "mover/ManifestStore.h"
#include "ui/TrayController.h"
#include "ui/TrayIconArt.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

using namespace quindle;
using ui::DotLook;
using ui::Tone;

TEST(TrayDot, ColourAndBlinkingFollowTheStateTable) {
    const struct {
        IconState state;
        DotLook idle;
        DotLook active;
    } table[] = {
        {IconState::Normal, {}, {true, Tone::Good, true}},
        {IconState::Low, {true, Tone::Warning, false}, {true, Tone::Warning, false}},
        {IconState::NoFullDiskAccess, {true, Tone::Caution, false}, {true, Tone::Caution, false}},
        {IconState::Critical, {true, Tone::Bad, false}, {true, Tone::Bad, false}},
        {IconState::DriveMissing, {true, Tone::Bad, false}, {true, Tone::Bad, false}},
        {IconState::Paused, {true, Tone::Warning, false}, {true, Tone::Warning, false}},
        {IconState::NoStatus, {}, {true, Tone::Good, true}},
        {IconState::NotInstalled, {}, {}},
    };
    for (const auto &row : table) {
        EXPECT_EQ(ui::dotLook(row.state, false), row.idle) << int(row.state);
        EXPECT_EQ(ui::dotLook(row.state, true), row.active) << int(row.state);
    }
}

class Tray : public test::ShellTest {
protected:
    // A move parked until its drive returns still counts as activity.
    void addParkedMove() {
        MoveManifest m;
        m.id = QUuid::createUuid();
        m.src = inHome("Projects");
        m.dstParent = inHome("gone");
        m.finalDst = inHome("gone/Projects");
        m.startedAt = QDateTime::currentDateTimeUtc();
        m.phase = MovePhase::WaitingForDrive;
        ManifestStore::write(m);
        mover->recoverPendingManifests();
        ASSERT_TRUE(test::waitUntil([&] { return !mover->isRecovering(); }));
    }
};

TEST_F(Tray, BlinksGreenOnlyWhileWorkRunsInANormalState) {
    setStatus({});
    ui::TrayController tray(*model, *mover, {});
    EXPECT_FALSE(tray.dot().visible);
    EXPECT_FALSE(tray.isBlinking());

    addParkedMove();
    EXPECT_TRUE(tray.isBlinking());
    EXPECT_EQ(tray.dot(), (DotLook{true, Tone::Good, true}));
    const bool phase = tray.blinkOn();
    ASSERT_TRUE(test::waitUntil([&] { return tray.blinkOn() != phase; }, 3000));

    // The model replaces the free space with the disk's live figure: raise the threshold instead.
    setStatus({{"low_space_warn_gb", 999999}}); // low: orange, steady
    EXPECT_EQ(tray.dot(), (DotLook{true, Tone::Warning, false}));

    mover->cancelAll();
    EXPECT_FALSE(tray.isBlinking());
}

TEST_F(Tray, WithoutATrayTheStatusOpensAsAWindow) {
    setStatus({});
    ui::TrayController tray(*model, *mover, {});
    tray.show(); // the offscreen platform has no tray
    EXPECT_FALSE(tray.hasTray());
    ASSERT_TRUE(tray.popover()->isVisible());
    EXPECT_TRUE(tray.popover()->windowFlags().testFlag(Qt::Window));
    EXPECT_GE(tray.popover()->width(), ui::PopoverView::minimumWidth);
}

TEST_F(Tray, MenuTextsShowTheirAmpersandsAndCarryNoAccidentalShortcut) {
    setStatus({});
    ui::TrayController tray(*model, *mover, {});
    tray.show();
    ASSERT_TRUE(tray.menu());
    QStringList shown;
    for (QAction *action : tray.menu()->actions()) {
        EXPECT_TRUE(QKeySequence::mnemonic(action->text()).isEmpty())
            << action->text().toStdString();
        shown << QString(action->text()).replace(QStringLiteral("&&"), QStringLiteral("&"));
    }
    EXPECT_TRUE(shown.contains(QStringLiteral("Rules & Config…"))) << shown.join('|').toStdString();
}
