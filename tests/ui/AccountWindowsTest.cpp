#include "WindowFixture.h"
#include "support/WaitUntil.h"
#include "transfers/RemoteManager.h"
#include "transfers/SecretVault.h"
#include "transfers/SyncManager.h"
#include "ui/AccountsPane.h"
#include "ui/AddAccountDialog.h"
#include "ui/RemotesWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

using namespace quindle;
using test::control;

// The accounts of a temporary rclone configuration, read through the real account helper.
class AccountWindowsTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        setEnv("RCLONE_CONFIG", inHome("rclone.conf"));
        setEnv("QUINDLE_VAULT_KEYSTORE", "file");
        QByteArray config;
        for (int i = 1; i <= 5; ++i)
            config += "[drive" + QByteArray::number(i) + "]\ntype = drive\n\n";
        test::writeText(inHome("rclone.conf"), config + "[nas]\ntype = alias\nremote = /tmp\n");
        remotes.refresh();
        ASSERT_TRUE(
            test::waitUntil([&] { return remotes.hasLoaded() && !remotes.loading(); }, 30000));
    }

    QLineEdit *shownField(QWidget *root, const QString &name) {
        for (QLineEdit *edit : root->findChildren<QLineEdit *>())
            if (edit->accessibleName() == name && edit->isVisibleTo(root))
                return edit;
        ADD_FAILURE() << "no shown field " << name.toStdString();
        return nullptr;
    }

    RemoteManager remotes;
};

TEST_F(AccountWindowsTest, TheSheetHoldsBackFullKindsAndSavesOnlyACompleteForm) {
    ui::AddAccountDialog sheet(remotes);
    showAt(&sheet, {640, 520});
    auto *kinds = control<QListWidget>(&sheet, "Account kinds");
    ASSERT_TRUE(kinds);
    QListWidgetItem *drive = kinds->item(0);
    ASSERT_EQ(drive->data(Qt::UserRole).toString(), "drive");
    EXPECT_FALSE(drive->flags() & Qt::ItemIsEnabled);
    EXPECT_TRUE(drive->text().contains(
        "Account limit reached for Google Drive. Remove one to add another."));
    EXPECT_TRUE(drive->text().contains("5/5"));
    EXPECT_FALSE(sheet.chooseType("drive"));

    ASSERT_TRUE(sheet.chooseType("sftp"));
    QPushButton *save = nullptr;
    for (QPushButton *button : sheet.findChildren<QPushButton *>())
        if (button->text() == "Save account")
            save = button;
    ASSERT_TRUE(save);
    EXPECT_FALSE(save->isEnabled());
    shownField(&sheet, "Nickname")->setText("nas");
    EXPECT_TRUE(
        test::showsLabel(&sheet, "An account named nas already exists. Choose another nickname."));
    shownField(&sheet, "Nickname")->setText("home server");
    shownField(&sheet, "Host")->setText("127.0.0.1");
    shownField(&sheet, "User")->setText("me");
    shownField(&sheet, "Password")->setText("letmein");
    EXPECT_TRUE(
        test::showsLabel(&sheet, "Very weak. Won't be accepted — too short or too common."));
    EXPECT_FALSE(save->isEnabled());
    shownField(&sheet, "Password")->setText("Wide-Harbour 7 lanterns");
    EXPECT_TRUE(save->isEnabled());

    ASSERT_TRUE(sheet.chooseType("ftp"));
    shownField(&sheet, "Nickname")->setText("old ftp");
    shownField(&sheet, "Host")->setText("127.0.0.1");
    shownField(&sheet, "User")->setText("me");
    shownField(&sheet, "Password")->setText("Wide-Harbour 7 lanterns");
    EXPECT_FALSE(save->isEnabled()) << "FTP needs its consent";
    for (QCheckBox *box : sheet.findChildren<QCheckBox *>())
        if (box->isVisibleTo(&sheet))
            box->setChecked(true);
    EXPECT_TRUE(save->isEnabled());
    sheet.submit();
    ASSERT_TRUE(test::waitUntil([&] { return remotes.remote("old ftp").has_value(); }, 30000));
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
}

TEST_F(AccountWindowsTest, TheWindowTestsAnAccountAndRemovesItAfterAsking) {
    SyncManager transfers(nullptr);
    ui::RemotesWindow window(remotes, transfers);
    showAt(&window, {720, 500});
    auto *list = control<QListWidget>(&window, "Accounts");
    ASSERT_TRUE(list);
    EXPECT_TRUE(test::showsLabel(&window, "Select a remote to view details"));
    list->setCurrentRow(5);
    EXPECT_EQ(window.selectedName(), "nas");
    EXPECT_TRUE(test::showsLabel(&window, "nas:"));
    control<QPushButton>(&window, "Test connection")->click();
    EXPECT_TRUE(test::showsLabel(&window, "Connected."));

    control<QPushButton>(&window, "Remove")->click();
    QMessageBox *question = nullptr;
    ASSERT_TRUE(test::waitUntil([&] {
        question = window.findChild<QMessageBox *>();
        return question && question->isVisible();
    }));
    EXPECT_EQ(question->text(), "Remove remote nas");
    EXPECT_EQ(question->informativeText(), RemoteManager::removalText());
    for (QAbstractButton *button : question->buttons())
        if (button->text() == "Remove")
            button->click();
    EXPECT_TRUE(test::waitUntil([&] { return !remotes.remote("nas"); }, 30000));
}

TEST_F(AccountWindowsTest, ResettingTheVaultAsksFirstAndSetsTheOldOneAside) {
    ASSERT_EQ(SecretVault::set("remote.nas", "password", "x"), std::nullopt);
    ui::AccountsPane pane;
    showAt(&pane, {600, 400});
    QMessageBox *question = pane.askToReset();
    EXPECT_EQ(question->text(), ui::AccountsPane::resetQuestion());
    question->reject();
    EXPECT_TRUE(QFile::exists(SecretVault::vaultPath()));
    question = pane.askToReset();
    for (QAbstractButton *button : question->buttons())
        if (button->text() == "Reset Vault")
            button->click();
    EXPECT_FALSE(QFile::exists(SecretVault::vaultPath()));
    const QStringList aside = QDir(QFileInfo(SecretVault::vaultPath()).path())
                                  .entryList({"vault.enc.reset-*"}, QDir::Files);
    EXPECT_EQ(aside.size(), 1);
    EXPECT_TRUE(
        test::showsLabel(&pane, "The vault was reset. Enter your account credentials again."));
}
