#include "ui/RulesConfigWindow.h"
#include "WindowFixture.h"
#include "core/ConfigFileModel.h"
#include "core/StatePaths.h"
#include "core/StatusModel.h"
#include "support/FakeServiceManager.h"
#include "support/WaitUntil.h"
#include "ui/WindowKind.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace quindle;
using ui::RulesConfigWindow;

class RulesConfigTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        window = std::make_unique<RulesConfigWindow>(file, model);
        config = test::control<QPlainTextEdit>(window.get(), "Configuration file");
        preview = test::control<QPlainTextEdit>(window.get(), "Dry run output");
        run = test::control<QPushButton>(window.get(), "Run preview");
        showAt(window.get(), ui::specFor(ui::WindowKind::RulesConfig).size);
    }

    std::shared_ptr<test::FakeServiceManager> manager =
        std::make_shared<test::FakeServiceManager>(inHome("unit"));
    StatusModel model{[manager = manager] { return manager; }};
    ConfigFileModel file;
    std::unique_ptr<RulesConfigWindow> window;
    QPlainTextEdit *config = nullptr, *preview = nullptr;
    QPushButton *run = nullptr;
};

TEST_F(RulesConfigTest, ShowsWhereTheFileWasLookedForAndReloadsIt) {
    const QString missing = "(config not found at " + paths::configFile() + ")";
    ASSERT_TRUE(test::waitUntil([&] { return config->toPlainText() == missing; }));
    EXPECT_FALSE(test::control<QPushButton>(window.get(), "Open in Text Editor")->isEnabled());

    test::writeText(paths::configFile(), "NVMe=\"/run/media/me/NVMe\"\nRULES=()\n");
    QSignalSpy reloaded(window.get(), &RulesConfigWindow::reloaded);
    test::control<QPushButton>(window.get(), "Reload")->click();
    // A quick read may already be shown when click() returns.
    ASSERT_TRUE(test::waitUntil([&] { return reloaded.count() == 1; }));
    EXPECT_EQ(config->toPlainText(), "NVMe=\"/run/media/me/NVMe\"\nRULES=()\n");
    EXPECT_TRUE(config->isReadOnly());
    test::expectNamedControls(window.get());
}

TEST_F(RulesConfigTest, PreviewButtonRestsWhileTheDryRunIsInFlightAndAFailureSaysSo) {
    fakeService("echo 'The NVMe is not mounted.' >&2; exit 3");
    hold("dry-run");
    run->click();
    EXPECT_FALSE(run->isEnabled());
    EXPECT_TRUE(model.isInFlight("dry-run"));
    EXPECT_TRUE(test::showsLabel(window.get(), "Running the dry run…"));
    run->click(); // a second click while the first runs does nothing
    ASSERT_TRUE(test::waitUntil([&] { return calls().size() == 1; }));

    release("dry-run");
    ASSERT_TRUE(test::waitUntil([&] { return run->isEnabled(); }));
    ASSERT_TRUE(test::waitUntil([&] { return !preview->toPlainText().isEmpty(); }));
    EXPECT_EQ(preview->toPlainText(), "The NVMe is not mounted.");
    EXPECT_TRUE(test::showsLabel(window.get(), "The dry run ended with status 3."));
    EXPECT_EQ(calls(), QStringList{"dry-run"});
}
