#include "ui/SettingsWindow.h"
#include "WindowFixture.h"
#include "core/StatePaths.h"
#include "support/WaitUntil.h"
#include "ui/RuleDialog.h"
#include "ui/WindowKind.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace quindle;
using test::control;
using test::readText;
using ui::SettingsWindow;

class SettingsWindowTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(drive.isValid());
        QDir().mkpath(inHome("Videos"));
        QDir().mkpath(inHome("tmp"));
        test::writeText(paths::configFile(), "# Quindle configuration\nNVMe=\"" +
                                                 drive.path().toUtf8() +
                                                 "\"\nMIN_AGE_HARD_FLOOR_DAYS=7\nRULES=(\n"
                                                 "  \"archive_old | $HOME/Videos | " +
                                                 drive.path().toUtf8() +
                                                 "/Videos | 3 | \"\n"
                                                 "  \"delete_old | $HOME/tmp |  | 30 | \"\n"
                                                 "  \"shred_all | /etc |  | 1 | keep me\"\n)\n");
    }
    void open() {
        window = std::make_unique<SettingsWindow>();
        showAt(window.get(), ui::specFor(ui::WindowKind::Settings).size);
    }
    void showTab(const QString &name) {
        for (int i = 0; i < window->tabs()->count(); ++i)
            if (window->tabs()->tabText(i) == name)
                window->tabs()->setCurrentIndex(i);
    }
    // Commits a value the way typing it and pressing Return does.
    static void enter(QSpinBox *box, int value) {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QString::number(value));
        QTest::keyClick(box, Qt::Key_Return);
    }
    QByteArray config() const { return readText(paths::configFile()); }

    QTemporaryDir drive{QDir::tempPath() + "/quindle-drive-XXXXXX"};
    std::unique_ptr<SettingsWindow> window;
};

TEST_F(SettingsWindowTest, ARangeTypedKeyByKeyIsWrittenOnceAfterThePauseAndSaidSo) {
    open();
    showTab("Quiet Hours");
    auto *range = control<QLineEdit>(window.get(), "Quiet during");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->text(), "9-19");
    QSignalSpy saved(&window->preferences(), &PreferencesModel::saved);
    range->setFocus();
    range->selectAll();
    QTest::keyClicks(range, "9-12,14-18");
    EXPECT_EQ(saved.count(), 0);
    ASSERT_TRUE(test::waitUntil([&] { return !window->preferences().isSavePending(); }));
    EXPECT_EQ(saved.count(), 1);
    EXPECT_TRUE(config().contains("\nQUIET_HOURS_BLOCKED=\"9-12,14-18\"\n"));
    EXPECT_TRUE(test::showsLabel(window.get(), "Saved · daemon picks this up within 30s"));
    test::expectNamedControls(window.get());

    // The mode's own controls are the ones in use.
    auto *battery = control<QSpinBox>(window.get(), "Battery floor");
    EXPECT_FALSE(battery->isEnabled());
    control<QAbstractButton>(window.get(), "Smart (recommended)")->click();
    EXPECT_TRUE(battery->isEnabled());
    EXPECT_FALSE(range->isEnabled());
}

TEST_F(SettingsWindowTest, TheHardFloorAsksBeforeGoingBelowSevenDaysAndKeepingChangesNothing) {
    open();
    auto *floor = control<QSpinBox>(window.get(), "Hard floor");
    const QByteArray before = config();
    enter(floor, 3);
    QMessageBox *question = window->floorQuestion();
    ASSERT_TRUE(question);
    EXPECT_EQ(question->text(), "Lower the hard floor?");
    EXPECT_TRUE(question->informativeText().startsWith(
        "Quindle's default 7-day hard floor exists to protect files you may have edited "
        "recently. Lowering it to 3 days lets the daemon move or delete files modified within "
        "the last 3 days"));
    EXPECT_EQ(floor->value(), 7); // nothing applies while it asks
    control<QAbstractButton>(question, "Keep at 7 days")->click();
    EXPECT_EQ(floor->value(), 7);
    EXPECT_FALSE(window->preferences().isSavePending());
    EXPECT_EQ(config(), before);

    enter(floor, 3);
    ASSERT_TRUE(window->floorQuestion());
    control<QAbstractButton>(window->floorQuestion(), "Lower to 3 days")->click();
    ASSERT_TRUE(
        test::waitUntil([&] { return config().contains("\nMIN_AGE_HARD_FLOOR_DAYS=3\n"); }));
    EXPECT_TRUE(test::showsLabel(window.get(), "Lowered below the 7-day default. Quindle may move "
                                               "files you edited within the last week."));
    // Below the default already, 0 is taken as 1 without asking again.
    enter(floor, 0);
    EXPECT_FALSE(window->floorQuestion());
    EXPECT_EQ(floor->value(), 1);
    ASSERT_TRUE(
        test::waitUntil([&] { return config().contains("\nMIN_AGE_HARD_FLOOR_DAYS=1\n"); }));
}

TEST_F(SettingsWindowTest, ARuleBelowTheFloorSaysWhatItRunsAtAndRaisingStoresOnlyThatRule) {
    open();
    EXPECT_TRUE(test::showsLabel(window.get(), "The hard floor (7 days) overrides this rule's 3 "
                                               "days. Will run as 7d (floor)"));
    auto *raiseAll = control<QPushButton>(window.get(), "Raise 1 to 7d floor");
    ASSERT_TRUE(raiseAll);
    EXPECT_TRUE(raiseAll->isVisibleTo(window.get()));
    // The unknown action is shown by its name and written back as it was.
    EXPECT_TRUE(test::showsLabel(window.get(), "3. shred_all"));

    control<QPushButton>(window.get(), "Raise to 7d for rule 1")->click();
    const QByteArray text = config();
    EXPECT_TRUE(text.contains("\"archive_old | $HOME/Videos | " + drive.path().toUtf8() +
                              "/Videos | 7 | \""));
    EXPECT_TRUE(text.contains("\"delete_old | $HOME/tmp |  | 30 | \""));
    EXPECT_TRUE(text.contains("\"shred_all | /etc |  | 1 | keep me\""));
    EXPECT_FALSE(raiseAll->isVisibleTo(window.get()));
    EXPECT_FALSE(test::showsNow(window.get(), "The hard floor (7 days) overrides this rule's 3 "
                                              "days. Will run as 7d (floor)"));

    // An age typed into a row is saved as it is committed; the global floor shows through.
    enter(control<QSpinBox>(window.get(), "Age of rule 2"), 45);
    EXPECT_TRUE(config().contains("\"delete_old | $HOME/tmp |  | 45 | \""));
    enter(control<QSpinBox>(window.get(), "Delete floor"), 60);
    EXPECT_TRUE(test::showsLabel(window.get(), "Runs at 60 days, the floor in Global overrides."));
}

TEST_F(SettingsWindowTest, TheRuleDialogTakesAFolderAndKeepsARefusalOnScreenUntilItIsFixed) {
    open();
    const QString before = QString::fromUtf8(config());
    window->setFolderChooser([&](QWidget *, const QString &, const QString &start, auto chosen) {
        EXPECT_EQ(start, QDir::homePath());
        chosen(inHome("Videos"));
    });
    control<QPushButton>(window.get(), "Add Rule")->click();
    ui::RuleDialog *dialog = window->ruleDialog();
    ASSERT_TRUE(dialog);
    auto *action = control<QComboBox>(dialog, "Action");
    action->setCurrentIndex(action->findData("archive_big"));
    control<QPushButton>(dialog, "Choose source")->click();
    EXPECT_EQ(control<QLineEdit>(dialog, "Source folder")->text(), "~/Videos");
    control<QLineEdit>(dialog, "Destination folder")->setText("/srv/elsewhere");
    control<QLineEdit>(dialog, "Minimum size")->setText("2G");
    control<QPushButton>(dialog, "Add Rule")->click();

    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(test::showsLabel(dialog, "Rule 4 (archive_big) was not saved: its destination "
                                         "“/srv/elsewhere” is not on the NVMe at " +
                                             drive.path() + " once links are resolved."));
    EXPECT_EQ(QString::fromUtf8(config()), before);

    control<QLineEdit>(dialog, "Destination folder")->clear();
    control<QPushButton>(dialog, "Add Rule")->click();
    ASSERT_TRUE(test::waitUntil([&] { return !window->ruleDialog(); }));
    EXPECT_TRUE(config().contains("\n  \"archive_big | $HOME/Videos |  | 30 | 2G\"\n)"));
    EXPECT_TRUE(test::showsLabel(window.get(), "4. Move (large files)"));
    EXPECT_TRUE(test::showsLabel(window.get(), "Only files larger than 2.0 GB"));

    // Editing keeps what the action does not show; removing takes the rule out of the file.
    control<QPushButton>(window.get(), "Edit rule 3")->click();
    ASSERT_TRUE(window->ruleDialog());
    EXPECT_EQ(control<QComboBox>(window->ruleDialog(), "Action")->currentText(), "shred_all");
    control<QPushButton>(window->ruleDialog(), "Save Rule")->click();
    EXPECT_TRUE(config().contains("\"shred_all | /etc |  | 1 | keep me\""));
    control<QPushButton>(window.get(), "Remove rule 3")->click();
    EXPECT_FALSE(config().contains("shred_all"));
}

TEST_F(SettingsWindowTest, RevertReadsTheFileAgainAndAWriteThatFailsIsShown) {
    open();
    showTab("Notifications");
    auto *notify =
        control<QCheckBox>(window.get(), "Notify after every successful auto-action run");
    EXPECT_FALSE(notify->isChecked());
    test::writeText(paths::configFile(), config() + "NOTIFY_ON_OK_RUN=1\n");
    control<QPushButton>(window.get(), "Revert to saved")->click();
    EXPECT_TRUE(notify->isChecked());

    QFile::remove(paths::configFile());
    QDir().mkpath(paths::configFile());
    notify->click();
    ASSERT_TRUE(
        test::waitUntil([&] { return window->preferences().lastApplyError().has_value(); }));
    EXPECT_TRUE(test::showsLabel(window.get(), *window->preferences().lastApplyError()));
    EXPECT_FALSE(notify->isChecked()); // the screen keeps what was chosen
}
