#include "WindowFixture.h"
#include "core/Installer.h"
#include "core/StatusModel.h"
#include "insight/ServiceStartPrompt.h"
#include "insight/WizardModel.h"
#include "support/FakeServiceManager.h"
#include "support/WaitUntil.h"
#include "ui/ServiceStartWindow.h"
#include "ui/SetupWizardWindow.h"
#include "ui/WindowKind.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace quindle;
using Step = WizardModel::Step;

class SetupWindowsTest : public test::WindowTest {
protected:
    std::shared_ptr<test::FakeServiceManager> manager =
        std::make_shared<test::FakeServiceManager>(inHome("unit"));
    Installer::ManagerSource source = [manager = manager] { return manager; };
};

TEST_F(SetupWindowsTest, WizardContinuesOnlyWhenTheStepMayBeLeftAndAFailedInstallCanBeRetried) {
    Installer installer(source, inHome("bundle")); // no scripts until the second try
    WizardModel wizard(&installer);
    ui::SetupWizardWindow window(wizard);
    showAt(&window, ui::specFor(ui::WindowKind::SetupWizard).size);
    auto *next = test::control<QPushButton>(&window, "Continue");
    auto *back = test::control<QPushButton>(&window, "Back");
    EXPECT_TRUE(next->isEnabled());
    EXPECT_FALSE(back->isEnabled());
    EXPECT_TRUE(test::showsLabel(&window, "Step 1 of 4"));

    next->click();
    ASSERT_EQ(wizard.step(), Step::Drive);
    EXPECT_FALSE(next->isEnabled());
    auto *skip = test::control<QCheckBox>(&window, "Skip choosing a drive");
    skip->click();
    EXPECT_TRUE(next->isEnabled());
    skip->click();
    EXPECT_FALSE(next->isEnabled());
    // Whatever this machine has plugged in, the page says what the listing says.
    ASSERT_TRUE(test::waitUntil([&] { return !wizard.driveListing().isListing(); }));
    EXPECT_EQ(test::control<QListWidget>(&window, "External drives")->count(),
              wizard.driveListing().drives().size());
    skip->click();
    back->click();
    EXPECT_EQ(wizard.step(), Step::Welcome);
    next->click();
    EXPECT_TRUE(skip->isChecked());
    next->click();
    ASSERT_EQ(wizard.step(), Step::Install);

    EXPECT_FALSE(next->isEnabled());
    auto *install = test::control<QPushButton>(&window, WizardModel::installButton());
    EXPECT_TRUE(install->isVisibleTo(&window));
    // Return installs on this page; without scripts it fails at once.
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_TRUE(test::showsLabel(&window, Installer::bundleMissingScriptsMessage()));
    EXPECT_FALSE(next->isEnabled());
    const QDir shipped(Installer::bundledScriptsFolder());
    QDir().mkpath(inHome("bundle"));
    for (const QString &name : shipped.entryList(QDir::Files))
        QFile::copy(shipped.filePath(name), inHome("bundle/" + name));
    test::control<QPushButton>(&window, WizardModel::retryButton())->click();
    EXPECT_TRUE(wizard.isInstalling());
    EXPECT_FALSE(back->isEnabled());
    ASSERT_TRUE(test::waitUntil([&] { return !wizard.isInstalling(); }, 20000));
    EXPECT_TRUE(next->isEnabled());
    EXPECT_TRUE(test::showsLabel(&window, WizardModel::installedText()));
    EXPECT_FALSE(install->isVisibleTo(&window));
    auto *log = test::control<QListWidget>(&window, "Installation log");
    ASSERT_EQ(log->count(), installer.log().size());
    EXPECT_EQ(log->item(log->count() - 1)->text(), installer.log().last());
    EXPECT_EQ(test::control<QProgressBar>(&window, "Installation progress")->value(), 100);

    next->click();
    ASSERT_EQ(wizard.step(), Step::Done);
    EXPECT_EQ(next->text(), WizardModel::finishButton());
    EXPECT_TRUE(test::showsLabel(&window, WizardModel::doneTitle()));
    QSignalSpy finished(&wizard, &WizardModel::finished);
    next->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(wizard.step(), Step::Done);
    test::expectNamedControls(&window);
}

TEST_F(SetupWindowsTest, StartWindowWaitsShowsWhyItGaveUpAndRestsOnceTheServiceIsUp) {
    StatusModel model(source);
    ServiceStartPrompt prompt(model);
    prompt.setCheckInterval(std::chrono::milliseconds(5));
    ui::ServiceStartWindow window(prompt);
    showAt(&window, ui::specFor(ui::WindowKind::ServiceStart).size);
    auto *start = test::control<QPushButton>(&window, ServiceStartPrompt::startButton());
    auto *busy = test::control<QProgressBar>(&window, "Starting the service");
    EXPECT_FALSE(busy->isVisibleTo(&window));
    EXPECT_FALSE(test::showsNow(&window, ServiceStartPrompt::failureTitle()));

    QTest::keyClick(&window, Qt::Key_Return); // Start Service is the default
    ASSERT_EQ(prompt.state(), ServiceStartPrompt::State::Starting);
    EXPECT_FALSE(start->isEnabled());
    EXPECT_TRUE(busy->isVisibleTo(&window));
    ASSERT_TRUE(test::waitUntil([&] { return prompt.state() == ServiceStartPrompt::State::Failed; },
                                20000));
    EXPECT_FALSE(busy->isVisibleTo(&window));
    EXPECT_TRUE(test::showsLabel(&window, ServiceStartPrompt::failureTitle()));
    EXPECT_TRUE(test::showsLabel(&window, prompt.failureMessage()));
    EXPECT_TRUE(start->isEnabled());
    test::expectNamedControls(&window);
    QSignalSpy quit(&prompt, &ServiceStartPrompt::quitRequested);
    test::control<QPushButton>(&window, ServiceStartPrompt::quitButton())->click();
    EXPECT_EQ(quit.count(), 1);

    manager->loadedFrom = manager->questions + 3;
    start->click();
    ASSERT_TRUE(test::waitUntil([&] { return prompt.state() == ServiceStartPrompt::State::Loaded; },
                                20000));
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(test::showsNow(&window, ServiceStartPrompt::failureTitle()));
}
