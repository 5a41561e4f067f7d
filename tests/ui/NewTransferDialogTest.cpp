#include "ui/NewTransferDialog.h"
#include "WindowFixture.h"
#include "transfers/RemoteManager.h"
#include "transfers/SyncManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>

using namespace quindle;

class NewTransferDialogTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir().mkpath(source);
        QDir().mkpath(inHome("Backup"));
        manager = std::make_unique<SyncManager>(nullptr); // never started: jobs wait queued
        dialog = std::make_unique<ui::NewTransferDialog>(*manager, remotes);
        showAt(dialog.get(), dialog->sizeHint());
    }
    void fill(const QString &name, const QString &text) {
        test::control<QLineEdit>(dialog.get(), name)->setText(text);
    }
    void choose(const QString &name, int index) {
        test::control<QComboBox>(dialog.get(), name)->setCurrentIndex(index);
    }

    const QString source = inHome("Pictures");
    RemoteManager remotes;
    std::unique_ptr<SyncManager> manager;
    std::unique_ptr<ui::NewTransferDialog> dialog;
};

TEST_F(NewTransferDialogTest, ARefusedFormStaysOpenAndAddsNothing) {
    test::expectNamedControls(dialog.get());
    fill("Source", "Pictures");
    fill("Destination", inHome("Backup"));
    test::control<QPushButton>(dialog.get(), "Add Transfer")->click();
    EXPECT_TRUE(manager->jobs().isEmpty());
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(test::showsLabel(
        dialog.get(),
        "Use a full path such as /home/you/Photos, or a remote such as name:folder."));
}

TEST_F(NewTransferDialogTest, TheResyncSwitchCountsOnlyForATwoWaySync) {
    auto *resync = test::control<QCheckBox>(dialog.get(), "First run for this pair (--resync)");
    EXPECT_FALSE(resync->isEnabled());
    choose("Mode", 3); // two-way
    EXPECT_TRUE(resync->isEnabled());
    resync->setChecked(true);
    EXPECT_TRUE(dialog->form().bisyncResync);
}

TEST_F(NewTransferDialogTest, AnAcceptedFormQueuesTheTransferAsFilledIn) {
    fill("Source", "~/Pictures");
    fill("Destination", inHome("Backup"));
    fill("Bandwidth limit", "10M");
    choose("Schedule", 2); // daily, at the time shown
    test::control<QPushButton>(dialog.get(), "Add Transfer")->click();
    ASSERT_EQ(manager->jobs().size(), 1);
    const SyncJob &job = manager->jobs().first();
    EXPECT_EQ(job.mode, JobMode::Copy);
    EXPECT_EQ(job.source, source);
    EXPECT_EQ(job.bandwidthLimit, QString("10M"));
    EXPECT_EQ(job.transfers, 8);
    EXPECT_EQ(job.schedule, Schedule::daily(3, 0));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}
