#include "ShellFixture.h"

#include "core/RecentNotices.h"
#include "core/ServiceScripts.h"
#include "insight/FstabAuditor.h"
#include "insight/PopoverModel.h"
#include "platform/VolumeLocations.h"
#include "support/ClippedWidgets.h"
#include "support/FakeExecutables.h"
#include "ui/PopoverView.h"
#include "ui/RecentNoticesView.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace quindle;
using ui::PopoverView;

class Popover : public test::ShellTest {
protected:
    std::unique_ptr<PopoverView> makeView() {
        ui::PopoverActions actions;
        actions.openWindow = [this](ui::WindowKind kind) { opened << kind; };
        actions.confirm = [this](const QString &title, const QString &, const QString &,
                                 const std::function<void()> &confirmed) {
            asked << title;
            if (answer)
                confirmed();
        };
        actions.recentNotices = &notices;
        popover = std::make_unique<PopoverModel>(*model, *mover, &fstab);
        return std::make_unique<PopoverView>(*popover, actions);
    }
    static QLabel *label(const PopoverView &view, const QString &accessibleName) {
        for (QLabel *label : view.findChildren<QLabel *>())
            if (label->accessibleName() == accessibleName)
                return label;
        return nullptr;
    }
    QString labelText(const PopoverView &view, const QString &accessibleName) {
        const QLabel *found = label(view, accessibleName);
        return found ? found->text() : QString();
    }
    FstabAuditor fstab{inHome("fstab")};
    std::unique_ptr<PopoverModel> popover;
    RecentNotices notices;
    QList<ui::WindowKind> opened;
    QStringList asked;
    bool answer = false;
};

TEST(PopoverSize, FollowsTheScreenWithinItsBounds) {
    EXPECT_EQ(PopoverView::preferredHeight(400), 420);
    EXPECT_EQ(PopoverView::preferredHeight(1000), 720);
    EXPECT_EQ(PopoverView::preferredHeight(700), 640);
}

TEST_F(Popover, EveryTextFitsAtLargerFontsWithoutEmptySpaceBelow) {
    setStatus({});
    for (const int points : {9, 11, 14}) {
        const test::ApplicationFontSize font(points);
        const auto view = makeView();
        const QSize size = view->fittingSize({1920, 1080});
        view->resize(size);
        view->show();
        QApplication::processEvents();
        EXPECT_EQ(test::clippedWidgets(view.get()), QStringList()) << points << " pt";
        EXPECT_GE(size.width(), PopoverView::minimumWidth);
        // The footer sits right under the last button: no more than a few lines of slack.
        EXPECT_LT(size.height(), PopoverView::preferredHeight(1080)) << points << " pt";
    }
    const test::ApplicationFontSize font(14);
    const auto view = makeView();
    EXPECT_EQ(view->fittingSize({1920, 500}).height(), 440) << "a short screen caps it";
    EXPECT_LE(view->fittingSize({380, 1080}).width(), 380) << "a narrow screen caps it";
}

TEST_F(Popover, RuleRunsNeedAnActiveServiceAndTheDrive) {
    setStatus({});
    auto view = makeView();
    EXPECT_TRUE(view->commandButton(service::relocateNow)->isEnabled());
    EXPECT_TRUE(view->commandButton(service::dryRun)->isEnabled());

    setStatus({{"paused", true}});
    EXPECT_FALSE(view->commandButton(service::relocateNow)->isEnabled());
    EXPECT_FALSE(view->commandButton(service::dryRun)->isEnabled());
    EXPECT_EQ(view->commandButton(service::pause)->text(), "Resume");
    EXPECT_EQ(labelText(*view, "Auto-actions"), "Paused");
    view->commandButton(service::pause)->click();
    ASSERT_TRUE(test::waitUntil([&] { return ran() == QStringList{"resume"}; }));

    setStatus({{"mounted", false}});
    EXPECT_FALSE(view->commandButton(service::relocateNow)->isEnabled());
    EXPECT_TRUE(view->commandButton(service::remount)->isEnabled());
    EXPECT_EQ(labelText(*view, "NVMe"), "Disconnected");
}

TEST_F(Popover, ConfirmationsRunNothingWhenCancelled) {
    setStatus({});
    auto view = makeView();
    view->commandButton(service::rollback)->click();
    view->commandButton(service::ejectNVMe)->click();
    EXPECT_EQ(asked, QStringList({"Roll back the last batch?", "Eject NVMe?"}));
    answer = true;
    view->commandButton(service::rollback)->click();
    ASSERT_TRUE(test::waitUntil([&] { return !ran().isEmpty(); }));
    EXPECT_EQ(ran(), QStringList{"rollback --yes"});
}

TEST_F(Popover, SettingsOpenFromMoreActionsAndWithCtrlComma) {
    setStatus({});
    auto view = makeView();
    view->show();
    QAction *settings = nullptr;
    for (QAction *action : view->actions())
        if (action->text() == "Settings…")
            settings = action;
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->shortcut(), QKeySequence("Ctrl+,"));
    EXPECT_TRUE(settings->associatedObjects().size() >= 2) << "in the menu and on the popover";
    QApplication::setActiveWindow(view.get());
    QTest::keyClick(view.get(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(opened, QList<ui::WindowKind>{ui::WindowKind::Settings});
}

TEST_F(Popover, HelpAndEachLegalDocumentOpenTheirOwnWindow) {
    setStatus({});
    auto view = makeView();
    QToolButton *help = nullptr;
    QToolButton *legal = nullptr;
    for (QToolButton *button : view->findChildren<QToolButton *>()) {
        if (button->text() == "Help")
            help = button;
        if (button->text() == "Legal")
            legal = button;
    }
    ASSERT_TRUE(help && legal && legal->menu());
    help->click();
    QStringList titles;
    for (QAction *entry : legal->menu()->actions()) {
        titles << entry->text();
        entry->trigger();
    }
    EXPECT_EQ(titles, QStringList({"Terms of Service", "Privacy Policy", "Disclaimer",
                                   "Security Policy", "Third-party notices"}));
    using K = ui::WindowKind;
    EXPECT_EQ(opened, QList<K>({K::Help, K::TermsOfService, K::PrivacyPolicy, K::Disclaimer,
                                K::SecurityPolicy, K::ThirdPartyNotices}));
}

TEST_F(Popover, NoticesTheDesktopCouldNotShowAreListedUntilItShowsOneAgain) {
    setStatus({});
    auto view = makeView();
    view->show();
    auto *panel = view->findChild<ui::RecentNoticesView *>();
    ASSERT_TRUE(panel);
    EXPECT_FALSE(panel->isVisible()) << "nothing to list yet";
    notices.add({{"Low space", "12 GB left", {}},
                 QDateTime::currentDateTimeUtc(),
                 NoticeRoute::StandardError});
    EXPECT_TRUE(panel->isVisible());
    const QListWidget *list = panel->findChild<QListWidget *>();
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().contains("Low space\n12 GB left"));
    notices.add({{"Pass done", "Moved 1 entry", {}},
                 QDateTime::currentDateTimeUtc(),
                 NoticeRoute::Desktop});
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(Popover, ASecondClickWhileTheCommandRunsDoesNothing) {
    setStatus({});
    auto view = makeView();
    QPushButton *dryRun = view->commandButton(service::dryRun);
    dryRun->click();
    ASSERT_TRUE(test::waitUntil([&] { return !dryRun->isEnabled(); }));
    dryRun->click(); // disabled: ignored
    test::writeText(inHome("release"), "");
    ASSERT_TRUE(test::waitUntil([&] { return dryRun->isEnabled(); }));
    EXPECT_EQ(ran(), QStringList{"dry-run"});
    EXPECT_EQ(model->actionOutput().trimmed(), "did dry-run");
}

TEST_F(Popover, ShowsWhatToDoBeforeThereIsAStatus) {
    auto view = makeView();
    manager->loadedFrom = -1;
    bool done = false;
    model->refreshAsync().then(model.get(), [&] { done = true; });
    ASSERT_TRUE(test::waitUntil([&] { return done; }));
    auto *start = view->findChild<QPushButton *>();
    QStringList buttons;
    for (QPushButton *button : view->findChildren<QPushButton *>())
        if (button->isVisibleTo(view.get()))
            buttons << button->text();
    EXPECT_TRUE(buttons.contains("Start Service")) << buttons.join(", ").toStdString();
    Q_UNUSED(start);

    QFile::remove(paths::serviceScript());
    done = false;
    model->refreshAsync().then(model.get(), [&] { done = true; });
    ASSERT_TRUE(test::waitUntil([&] { return done; }));
    for (QPushButton *button : view->findChildren<QPushButton *>())
        if (button->text() == "Run Setup…")
            button->click();
    EXPECT_EQ(opened, QList<ui::WindowKind>{ui::WindowKind::SetupWizard});
}

TEST_F(Popover, AnFstabLineIsOfferedForRemovalAskedAboutAndGoneOnceRemoved) {
    setStatus({});
    const QByteArray pin = "UUID=2 " + platform::defaultNVMePath().toUtf8() + " ext4 0 2\n";
    test::writeText(inHome("fstab"), "UUID=1 / ext4 defaults 0 1\n" + pin);
    test::FakeExecutables fakes;
    fakes.putFirstOnPath();
    fakes.add("pkexec", "exit 126");
    auto view = makeView();
    view->show();
    QLabel *row = label(*view, "fstab entry");
    ASSERT_NE(row, nullptr);
    popover->refreshDetections();
    ASSERT_TRUE(test::waitUntil([&] { return row->isVisible(); }));
    EXPECT_TRUE(row->toolTip().endsWith("Click to remove it."));

    Q_EMIT row->linkActivated("remove");
    EXPECT_EQ(asked, QStringList{"Remove fstab entry"});
    answer = true;
    Q_EMIT row->linkActivated("remove");
    ASSERT_TRUE(test::waitUntil([&] { return labelText(*view, "fstab removal") == "Cancelled."; }));
    EXPECT_TRUE(row->isVisible());

    // The administrator's shell runs the real command.
    fakes.add("pkexec", "shift 2; exec /bin/sh -c \"$1\"");
    Q_EMIT row->linkActivated("remove");
    ASSERT_TRUE(test::waitUntil([&] { return !row->isVisible(); }));
    EXPECT_EQ(test::readText(inHome("fstab")), "UUID=1 / ext4 defaults 0 1\n");
    EXPECT_FALSE(fstab.removalError());
}
