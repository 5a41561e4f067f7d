#include "ui/ChooseDriveWindow.h"
#include "WindowFixture.h"
#include "insight/DriveSelection.h"
#include "support/WaitUntil.h"
#include "ui/WindowKind.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

using namespace quindle;
using ui::ChooseDriveWindow;

namespace {

// Three drives: the current one, one the service blocks and one it accepts with a warning.
const QByteArray kService = R"sh(case "$1" in
list-drives) cat <<'JSON'
[{"name":"NVMe","path":"/media/me/NVMe","filesystem":"ext4","protocol":"usb","removable":"Removable",
  "location":"External","device":"/dev/sdb1","uuid":"U1","free_mb":409600,"total_mb":953344,
  "is_current":true,"has_marker":true},
 {"name":"Stick","path":"/media/me/Stick","filesystem":"vfat","protocol":"usb","removable":"Removable",
  "location":"External","device":"/dev/sdc1","uuid":"U2","free_mb":1024,"total_mb":30720,
  "is_current":false,"has_marker":false},
 {"name":"Spare","path":"/media/me/Spare","filesystem":"exfat","protocol":"usb","removable":"Removable",
  "location":"External","device":"/dev/sdd1","uuid":"U3","free_mb":204800,"total_mb":476940,
  "is_current":false,"has_marker":false}]
JSON
;;
assess)
  case "$2" in
  */Stick) echo '{"verdict":"block","reasons":["/media/me/Stick is mounted read-only."],"warnings":[]}' ;;
  */Spare) echo '{"verdict":"warn","reasons":[],"warnings":["The exfat filesystem has no symbolic links."]}' ;;
  *) echo '{"verdict":"ok","reasons":[],"warnings":[]}' ;;
  esac ;;
select-drive) echo "The NVMe is now $2." ;;
esac)sh";

} // namespace

class ChooseDriveTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        fakeService(kService);
        window = std::make_unique<ChooseDriveWindow>(model);
        list = test::control<QListWidget>(window.get(), "Drives");
        use = test::control<QPushButton>(window.get(), "Use This Drive");
        showAt(window.get(), ui::specFor(ui::WindowKind::ChooseDrive).size);
        ASSERT_TRUE(test::waitUntil([&] { return list->count() == 3 && assessed(); }));
    }
    bool assessed() const { return model.assessingPath().isEmpty() && model.assessment(); }

    DriveSelectionModel model;
    std::unique_ptr<ChooseDriveWindow> window;
    QListWidget *list = nullptr;
    QPushButton *use = nullptr;
};

TEST_F(ChooseDriveTest, UseThisDriveRestsForTheCurrentAndForABlockedDrive) {
    EXPECT_EQ(list->currentRow(), 0); // the current drive is selected first
    EXPECT_TRUE(test::showsLabel(window.get(), DriveCard::currentBadge));
    EXPECT_TRUE(test::showsLabel(window.get(), "NVMe: looks good"));
    EXPECT_FALSE(use->isEnabled());

    hold("assess");
    list->setCurrentRow(1);
    EXPECT_TRUE(test::showsLabel(window.get(), "Inspecting drive…"));
    EXPECT_FALSE(use->isEnabled()); // not before the assessment says
    release("assess");
    ASSERT_TRUE(test::waitUntil([&] { return assessed(); }));
    EXPECT_TRUE(test::showsLabel(window.get(), "Stick: not suitable"));
    EXPECT_FALSE(test::showsNow(window.get(), DriveCard::currentBadge));
    EXPECT_FALSE(use->isEnabled());

    list->setCurrentRow(2);
    ASSERT_TRUE(test::waitUntil([&] { return assessed(); }));
    EXPECT_TRUE(test::showsLabel(window.get(), "Spare: usable with warnings"));
    EXPECT_TRUE(use->isEnabled());
    // The card follows the selection.
    EXPECT_TRUE(test::showsLabel(window.get(), "215 GB free / 500 GB"));
    EXPECT_FALSE(test::showsNow(window.get(), "400 GB free / 931 GB"));
    test::expectNamedControls(window.get());
}

TEST_F(ChooseDriveTest, CancellingTheConfirmationRunsNothingAndConfirmingSwitches) {
    list->setCurrentRow(2);
    ASSERT_TRUE(test::waitUntil([&] { return assessed() && use->isEnabled(); }));
    use->click();
    QMessageBox *box = window->confirmation();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Use Spare as the managed external drive?");
    EXPECT_EQ(box->informativeText(), model.confirmationMessage());
    // A drive with warnings: Return gives the safe answer.
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));
    ASSERT_TRUE(box->defaultButton());

    box->defaultButton()->click();
    EXPECT_FALSE(model.isConfirmingSwitch());
    EXPECT_FALSE(model.isCommitting());
    // A rescan finishing proves no call is still on its way.
    test::control<QPushButton>(window.get(), "Rescan drives")->click();
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoadingDrives() && assessed(); }));
    EXPECT_EQ(calls().filter(QRegularExpression("^select-drive")), QStringList());

    use->click();
    ASSERT_TRUE(window->confirmation());
    for (QAbstractButton *button : window->confirmation()->buttons())
        if (button->text() == "Use This Drive")
            button->click();
    ASSERT_TRUE(test::showsLabel(window.get(), "The NVMe is now /media/me/Spare."));
    EXPECT_EQ(calls().filter(QRegularExpression("^select-drive")),
              QStringList{"select-drive /media/me/Spare"});
}
