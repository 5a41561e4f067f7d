#include "ShellFixture.h"

#include "mover/ManifestStore.h"
#include "ui/TrayController.h"
#include "ui/TrayIconArt.h"

#include <QAction>
#include <QImage>
#include <QKeySequence>
#include <QMenu>
#include <QPainter>

#include <cmath>

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

namespace {

double relativeLuminance(QColor colour) {
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

// Of the pixels the icon covers, the share that stands out from the panel behind it by the 3:1
// contrast asked of graphics.
double shareStandingOut(QPixmap icon, const QColor &panel) {
    icon.setDevicePixelRatio(1.0); // compared pixel for pixel
    QImage shown(icon.size(), QImage::Format_ARGB32);
    shown.fill(panel);
    QPainter painter(&shown);
    painter.drawPixmap(0, 0, icon);
    painter.end();
    const QImage alone = icon.toImage();
    const double behind = relativeLuminance(panel);
    int covered = 0;
    int standing = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            if (alone.pixelColor(x, y).alphaF() < 0.5)
                continue;
            ++covered;
            const double here = relativeLuminance(shown.pixelColor(x, y));
            const double ratio = (std::max(here, behind) + 0.05) / (std::min(here, behind) + 0.05);
            standing += ratio >= 3.0;
        }
    return covered ? double(standing) / covered : 0.0;
}

} // namespace

TEST(TrayIcon, ReadsOnLightAndDarkPanelsAtEveryScale) {
    const QColor panels[] = {QColor(0xf6, 0xf5, 0xf4), QColor(0xd0, 0xd0, 0xd0),
                             QColor(0x30, 0x30, 0x30), QColor(0x10, 0x10, 0x10)};
    for (const ui::DotLook &dot : {ui::DotLook{}, ui::DotLook{true, ui::Tone::Bad, false}})
        for (const QColor &panel : panels)
            for (const qreal ratio : {1.0, 1.5, 2.0}) {
                const QPixmap icon = ui::trayIcon(dot, true).pixmap(QSize(22, 22), ratio);
                EXPECT_EQ(icon.size(), QSize(22, 22) * ratio) << "drawn at the screen's scale";
                // The ink reads on a dark panel, the rim on a light one.
                EXPECT_GT(shareStandingOut(icon, panel), 0.4)
                    << panel.name().toStdString() << " at " << ratio << "×";
            }
}

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
        shown << QString(action->text()).replace("&&", "&");
    }
    EXPECT_TRUE(shown.contains("Rules & Config…")) << shown.join('|').toStdString();
}

TEST_F(Tray, SettingsOpenFromTheMenu) {
    setStatus({});
    QList<ui::WindowKind> opened;
    ui::PopoverActions actions;
    actions.openWindow = [&](ui::WindowKind kind) { opened << kind; };
    ui::TrayController tray(*model, *mover, actions);
    tray.show();
    for (QAction *action : tray.menu()->actions())
        if (action->text() == "Settings…")
            action->trigger();
    EXPECT_EQ(opened, QList<ui::WindowKind>{ui::WindowKind::Settings});
}
