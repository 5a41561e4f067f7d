#include "ui/RulesConfigWindow.h"
#include "WindowFixture.h"
#include "core/StatePaths.h"
#include "core/StatusModel.h"
#include "service_control/FakeServiceManager.h"
#include "support/WaitUntil.h"
#include "ui/WindowKind.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>

using namespace quindle;
using ui::RulesConfigWindow;

namespace {

// Stands in for the desktop's handler of file URLs.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened << url; }
};

class RulesConfigTest : public test::WindowTest {
protected:
    void open() {
        window = std::make_unique<RulesConfigWindow>(model);
        config = test::control<QPlainTextEdit>(window.get(), QStringLiteral("Configuration file"));
        preview = test::control<QPlainTextEdit>(window.get(), QStringLiteral("Dry run output"));
        run = test::control<QPushButton>(window.get(), QStringLiteral("Run preview"));
        showAt(window.get(), ui::specFor(ui::WindowKind::RulesConfig).size);
    }

    std::shared_ptr<test::FakeServiceManager> manager =
        std::make_shared<test::FakeServiceManager>(inHome(QStringLiteral("unit")));
    StatusModel model{[manager = manager] { return manager; }};
    std::unique_ptr<RulesConfigWindow> window;
    QPlainTextEdit *config = nullptr;
    QPlainTextEdit *preview = nullptr;
    QPushButton *run = nullptr;
};

} // namespace

TEST_F(RulesConfigTest, ShowsTheFileOrWhereItWasLookedForAndReloads) {
    open();
    const QString missing = QStringLiteral("(config not found at ") + paths::configFile() + ")";
    ASSERT_TRUE(test::waitUntil([&] { return config->toPlainText() == missing; }));
    auto *openButton =
        test::control<QPushButton>(window.get(), QStringLiteral("Open in Text Editor"));
    EXPECT_FALSE(openButton->isEnabled());

    test::writeText(paths::configFile(), "NVMe=\"/run/media/me/NVMe\"\nRULES=()\n");
    QSignalSpy reloaded(window.get(), &RulesConfigWindow::reloaded);
    test::control<QPushButton>(window.get(), QStringLiteral("Reload"))->click();
    // A quick read may already be shown when click() returns.
    ASSERT_TRUE(test::waitUntil([&] { return reloaded.count() == 1; }));
    EXPECT_EQ(config->toPlainText(), QStringLiteral("NVMe=\"/run/media/me/NVMe\"\nRULES=()\n"));
    EXPECT_TRUE(config->isReadOnly());

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    openButton->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.first(), QUrl::fromLocalFile(paths::configFile()));
    test::expectNamedControls(window.get());
}

TEST_F(RulesConfigTest, PreviewButtonRestsWhileTheDryRunIsInFlight) {
    fakeService(waitFor(QStringLiteral("go")) +
                "\necho 'Would move ~/Videos (12 GB) to the NVMe.'");
    open();
    run->click();
    EXPECT_FALSE(run->isEnabled());
    EXPECT_TRUE(model.isInFlight(QStringLiteral("dry-run")));
    EXPECT_TRUE(test::showsLabel(window.get(), QStringLiteral("Running the dry run…")));
    run->click(); // a second click while the first runs does nothing
    ASSERT_TRUE(test::waitUntil([&] { return calls().size() == 1; }));

    release(QStringLiteral("go"));
    ASSERT_TRUE(test::waitUntil([&] { return run->isEnabled(); }));
    ASSERT_TRUE(test::waitUntil([&] { return !preview->toPlainText().isEmpty(); }));
    EXPECT_EQ(preview->toPlainText(), QStringLiteral("Would move ~/Videos (12 GB) to the NVMe."));
    EXPECT_EQ(calls(), QStringList{QStringLiteral("dry-run")});
}

TEST_F(RulesConfigTest, FailedDryRunSaysSoBesideItsOutput) {
    fakeService("echo 'The NVMe is not mounted.' >&2; exit 3");
    open();
    run->click();
    ASSERT_TRUE(test::waitUntil([&] { return !preview->toPlainText().isEmpty(); }));
    EXPECT_EQ(preview->toPlainText(), QStringLiteral("The NVMe is not mounted."));
    EXPECT_TRUE(test::showsLabel(window.get(), QStringLiteral("The dry run ended with status 3.")));
}

#include "RulesConfigWindowTest.moc"
