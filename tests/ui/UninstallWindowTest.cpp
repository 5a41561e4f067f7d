// The uninstall window through its three steps, with a stand-in service manager.
#include "ui/UninstallWindow.h"
#include "WindowFixture.h"
#include "core/StatePaths.h"
#include "core/UninstallWizardModel.h"
#include "support/FakeServiceManager.h"
#include "support/WaitUntil.h"
#include "ui/WindowKind.h"

#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace quindle;

class UninstallWindowTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        setEnv("QUINDLE_VOLUMES_ROOT", inHome("media"));
        test::writeText(paths::configFile(), "NVMe=\"" + inHome("media/NVMe").toUtf8() + "\"\n");
    }
    std::shared_ptr<test::FakeServiceManager> fake = std::make_shared<test::FakeServiceManager>(
        inHome(".config/autostart/quindle-service.desktop"));
};

TEST_F(UninstallWindowTest, ConfirmsWhatGoesRunsAndSaysWhatIsLeft) {
    test::writeText(inHome("media/NVMe/Work/.npm/data"), "kept");
    QFile::link(inHome("media/NVMe/Work/.npm"), inHome(".npm"));
    test::writeText(inHome(".npm.tarnel-old/data"), "old");
    Uninstaller uninstaller([manager = fake] { return manager; });
    UninstallWizardModel model(uninstaller);
    model.detectState();
    ui::UninstallWindow window(model);
    showAt(&window, ui::specFor(ui::WindowKind::Uninstall).size);
    test::expectNamedControls(&window);
    EXPECT_TRUE(test::showsLabel(&window, "This will remove Quindle from this computer."));
    EXPECT_TRUE(test::showsLabel(&window, "(not in an install folder)"));
    auto *revert = test::control<QCheckBox>(&window, "Revert relocated folders");
    ASSERT_NE(revert, nullptr);
    EXPECT_TRUE(revert->isChecked());
    test::control<QCheckBox>(&window, "Remove configuration and logs")->click();
    EXPECT_FALSE(uninstaller.removeConfigAndLogs);

    QTest::keyClick(&window, Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return model.step() == UninstallWizardModel::Step::Done; }));
    EXPECT_EQ(test::readText(inHome(".npm/data")), "old");
    EXPECT_TRUE(QFile::exists(paths::configFile()));
    EXPECT_TRUE(test::showsLabel(&window, "Quindle has been uninstalled."));
    QSignalSpy quit(&window, &ui::UninstallWindow::quitRequested);
    test::control<QPushButton>(&window, "Quit")->click();
    EXPECT_EQ(quit.count(), 1);
}

TEST_F(UninstallWindowTest, WithNothingRelocatedRevertingIsOffAndSaysSo) {
    Uninstaller uninstaller([manager = fake] { return manager; });
    UninstallWizardModel model(uninstaller);
    model.detectState();
    ui::UninstallWindow window(model);
    showAt(&window, ui::specFor(ui::WindowKind::Uninstall).size);
    EXPECT_FALSE(uninstaller.revertRelocations);
    EXPECT_TRUE(test::showsLabel(&window, "Nothing to revert. If you'd previously relocated "
                                          "folders, they were already moved back or removed."));
}
