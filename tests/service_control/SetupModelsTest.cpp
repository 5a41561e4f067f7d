#include "core/LoginItem.h"
#include "core/StatePaths.h"
#include "insight/ServiceStartPrompt.h"
#include "insight/WizardModel.h"
#include "platform/AutostartEntry.h"
#include "support/FakeServiceManager.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFileInfo>

using namespace quindle;
using test::readText;
using test::writeText;
using Step = WizardModel::Step;

class SetupModels : public test::TempHomeTest {
protected:
    std::shared_ptr<test::FakeServiceManager> fake = std::make_shared<test::FakeServiceManager>(
        inHome(".config/systemd/user/quindle-service.service"));
    Installer::ManagerSource source = [manager = fake] { return manager; };
};

TEST_F(SetupModels, WizardPreparesThePickedDriveAndInstallsNamingIt) {
    setEnv("QUINDLE_MACHINE_NAME", "Test Box");
    Installer installer(source, Installer::bundledScriptsFolder());
    WizardModel wizard(&installer);
    const auto pick = [&](const QString &path) {
        Drive drive;
        drive.name = QFileInfo(path).fileName();
        drive.path = path;
        wizard.pickDrive(drive);
    };
    wizard.goBack();
    wizard.goNext();
    EXPECT_EQ(wizard.step(), Step::Drive);
    EXPECT_FALSE(wizard.canAdvance());

    pick(inHome("gone"));
    EXPECT_TRUE(wizard.isPreparing());
    EXPECT_TRUE(wizard.canAdvance());
    ASSERT_TRUE(test::waitUntil([&] { return !wizard.isPreparing(); }, 20000));
    EXPECT_TRUE(wizard.prepResult()->startsWith("Couldn't prep drive: "));
    const QString drive = inHome("My Drive");
    QDir().mkpath(drive);
    pick(drive);
    ASSERT_TRUE(test::waitUntil([&] { return !wizard.isPreparing(); }, 20000));
    EXPECT_TRUE(wizard.prepResult()->startsWith("Prepared ")) << wizard.prepResult()->toStdString();

    wizard.goNext();
    EXPECT_FALSE(wizard.canAdvance());
    wizard.install();
    ASSERT_TRUE(test::waitUntil([&] { return !wizard.isInstalling(); }, 20000));
    EXPECT_TRUE(wizard.canAdvance());
    EXPECT_TRUE(readText(paths::configFile()).contains("NVMe=\"" + drive.toUtf8() + "\"\n"));
    wizard.goNext();
    wizard.goNext();
    EXPECT_EQ(wizard.step(), Step::Done);
}

TEST_F(SetupModels, StartPromptGivesUpAfterTwentyChecksAndAdvancesOnceTheServiceIsUp) {
    StatusModel model(source);
    ServiceStartPrompt prompt(model);
    prompt.setCheckInterval(std::chrono::milliseconds(5));
    int loaded = 0;
    QObject::connect(&prompt, &ServiceStartPrompt::loaded, [&] { ++loaded; });
    prompt.start();
    ASSERT_TRUE(test::waitUntil([&] { return prompt.state() == ServiceStartPrompt::State::Failed; },
                                20000));
    EXPECT_EQ(prompt.checks(), 20);
    // One refresh after starting, one before waiting, then the twenty checks.
    EXPECT_EQ(fake->questions, 22);
    EXPECT_EQ(fake->loads, 1);
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(prompt.failureMessage(),
              "Service didn't load within 10 seconds. Try again, or check "
              "~/.config/systemd/user/quindle-service.service permissions in a terminal.");

    fake->loadedFrom = fake->questions + 4; // loaded on the second check
    prompt.start();
    ASSERT_TRUE(test::waitUntil([&] { return loaded == 1; }, 5000));
    EXPECT_EQ(prompt.state(), ServiceStartPrompt::State::Loaded);
    EXPECT_EQ(prompt.checks(), 2);
}

TEST_F(SetupModels, LoginItemIsAnAutostartEntryThatTheDesktopCanSwitchOff) {
    LoginItem item;
    const QString entry = platform::autostartEntryFile(LoginItem::entryFileName());
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(true);
    EXPECT_EQ(item.lastError(), std::nullopt);
    EXPECT_TRUE(item.isEnabled());
    writeText(entry, readText(entry) + "Hidden=true\n"); // switched off in the desktop's settings
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(false);
    EXPECT_FALSE(QFileInfo::exists(entry));

    // A file where the folder should be: the failure is kept, the switch reads off.
    QDir(platform::autostartEntryFile({})).removeRecursively();
    writeText(inHome(".config/autostart"), "not a folder");
    item.setEnabled(true);
    EXPECT_TRUE(item.lastError().has_value());
    EXPECT_FALSE(item.isEnabled());
}
