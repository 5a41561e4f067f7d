// The update gate's window through its phases, against a loopback server; a stand-in xdg-open
// records what a browser would have been asked to open.
#include "ui/UpdatePromptWindow.h"
#include "WindowFixture.h"
#include "support/FakeExecutables.h"
#include "support/ManifestServer.h"
#include "support/WaitUntil.h"
#include "ui/WindowKind.h"
#include "updates/AutoUpdater.h"
#include "updates/ManifestFetcher.h"
#include "updates/UpdatePrompt.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace quindle;
using namespace std::chrono_literals;
using Answer = test::ManifestServer::Answer;

namespace {

QPushButton *button(QWidget *window, const QString &text) {
    for (QPushButton *candidate : window->findChildren<QPushButton *>())
        if (candidate->text() == text && candidate->isVisible())
            return candidate;
    return nullptr;
}

} // namespace

class UpdatePromptWindowTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        opener.add("xdg-open", "printf '%s\\n' \"$1\" >>\"$HOME/opened\"\n");
        opener.putFirstOnPath();
        server.answerWith(Answer::Unsigned);
        fetcher = std::make_unique<ManifestFetcher>(
            ManifestFetcher::Settings{server.address(), {}, {2s, 2s}});
        const QFuture<void> fetched = fetcher->refresh();
        ASSERT_TRUE(test::waitUntil([&] { return fetched.isFinished(); }, 10000));
    }
    QStringList opened() const {
        return QString::fromUtf8(test::readText(inHome("opened"))).split('\n', Qt::SkipEmptyParts);
    }

    test::FakeExecutables opener;
    test::ManifestServer server{test::SignedManifest::make("any key: served unsigned")};
    std::unique_ptr<ManifestFetcher> fetcher;
};

TEST_F(UpdatePromptWindowTest, ShowsEachPhaseWithTheButtonsThatFitIt) {
    AutoUpdater updater(AutoUpdater::Settings{}); // a development build: refused after the re-check
    UpdatePrompt prompt(*fetcher, updater);
    ui::UpdatePromptWindow window(prompt);
    showAt(&window, ui::specFor(ui::WindowKind::UpdatePrompt).size);
    test::expectNamedControls(&window);
    EXPECT_TRUE(test::showsLabel(&window, "Installed: v" + UpdatePrompt::installedVersion() +
                                              " · Available: v1.10.0"));
    EXPECT_EQ(button(&window, "Open Download in Browser"), nullptr);
    auto *progress = window.findChild<QProgressBar *>();
    EXPECT_FALSE(progress->isVisible());

    server.answerWith(Answer::Silence);
    QTest::keyClick(&window, Qt::Key_Return); // as in a dialog: the default button
    EXPECT_TRUE(test::showsLabel(&window, "Re-checking for updates…"));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_FALSE(button(&window, "Update Now")->isEnabled());
    ASSERT_TRUE(test::waitUntil(
        [&] { return prompt.phase() == UpdatePrompt::Phase::RecheckFailed; }, 10000));
    EXPECT_TRUE(test::showsLabel(&window, "Couldn't re-check for updates"));
    EXPECT_TRUE(test::showsLabel(&window, "Network error: The request timed out."));

    server.answerWith(Answer::Unsigned);
    button(&window, "Re-check")->click();
    ASSERT_TRUE(test::waitUntil([&] { return prompt.phase() == UpdatePrompt::Phase::Offer; }));
    EXPECT_EQ(button(&window, "Re-check"), nullptr);
    button(&window, "Update Now")->click();
    ASSERT_TRUE(test::waitUntil([&] { return updater.phase() == AutoUpdater::Phase::Failed; }));
    EXPECT_TRUE(test::showsLabel(&window, "The update couldn't finish"));
    EXPECT_TRUE(test::showsLabel(&window, updater.message()));
    EXPECT_FALSE(progress->isVisible());
    ASSERT_NE(button(&window, "Try Again"), nullptr);
    EXPECT_TRUE(button(&window, "Try Again")->isEnabled());

    button(&window, "Open Download in Browser")->click();
    ASSERT_TRUE(test::waitUntil([&] { return !opened().isEmpty(); }));
    EXPECT_EQ(opened(), QStringList{"https://downloads.example.org/Quindle-1.10.0.tar.gz"});
}

TEST_F(UpdatePromptWindowTest, ADownloadFillsTheBarAndBlocksASecondStart) {
    test::writeText(inHome("opt/Quindle/Resources/Scripts/quindle.sh"), "");
    AutoUpdater::Settings settings;
    settings.installFolder = inHome("opt/Quindle");
    settings.canVerify = true;
    settings.downloadFolder = inHome("");
    AutoUpdater updater(settings);
    ManifestV2 offer = *fetcher->manifest();
    offer.downloadUrl = server.serveFile("/update.tar.gz", QByteArray(4096, 'x'));
    offer.sha256 = QString(64, '0');
    server.answerFilesWith(Answer::Stall);
    UpdatePrompt prompt(*fetcher, updater);
    ui::UpdatePromptWindow window(prompt);
    showAt(&window, ui::specFor(ui::WindowKind::UpdatePrompt).size);
    updater.run(offer);
    ASSERT_TRUE(test::waitUntil([&] { return updater.fraction() > 0; }, 10000));
    EXPECT_TRUE(test::showsLabel(&window, "Download"));
    EXPECT_TRUE(test::showsLabel(&window, "50% complete"));
    auto *progress = window.findChild<QProgressBar *>();
    EXPECT_EQ(progress->value() * 2, progress->maximum());
    EXPECT_FALSE(button(&window, "Update Now")->isEnabled());
}
