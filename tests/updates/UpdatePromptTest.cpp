// The update gate's re-check against a real HTTP server on the loopback interface, before the
// updater may start.
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include "updates/ManifestFetcher.h"
#include "updates/UpdatePrompt.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace quindle;
using namespace std::chrono_literals;
using Phase = UpdatePrompt::Phase;

namespace {

// The test manifest, unsigned, with its version or download address replaced.
test::SignedManifest unsignedWith(const QByteArray &from, const QByteArray &to) {
    test::SignedManifest manifest = test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY);
    manifest.unsigned_.replace(from, to);
    return manifest;
}

} // namespace

class UpdatePromptTest : public test::TempHomeTest {
protected:
    // A fetcher that has fetched what `server` serves unsigned, as the launch chain leaves it.
    std::unique_ptr<ManifestFetcher> fetched(test::ManifestServer &server) {
        server.answerWith(test::ManifestServer::Answer::Unsigned);
        auto fetcher = std::make_unique<ManifestFetcher>(
            ManifestFetcher::Settings{server.address(), {}, {2s, 2s}});
        const QFuture<void> done = fetcher->refresh();
        EXPECT_TRUE(test::waitUntil([&] { return done.isFinished(); }, 10000));
        EXPECT_TRUE(fetcher->updateAvailable());
        return fetcher;
    }
    static bool settled(const UpdatePrompt &prompt) {
        return test::waitUntil([&] { return prompt.phase() != Phase::Rechecking; }, 10000);
    }
};

TEST_F(UpdatePromptTest, UpdateNowInstallsOnlyOnceTheServerConfirmsTheNewerVersion) {
    test::ManifestServer server{unsignedWith("", "")};
    auto fetcher = fetched(server);
    AutoUpdater updater(AutoUpdater::Settings{}); // a development build: refused at once
    UpdatePrompt prompt(*fetcher, updater);
    EXPECT_EQ(prompt.availableVersion(), "1.10.0");
    QSignalSpy current(&prompt, &UpdatePrompt::current);
    prompt.updateNow();
    EXPECT_EQ(prompt.phase(), Phase::Rechecking);
    EXPECT_FALSE(prompt.canUpdate());
    prompt.updateNow(); // a second press while re-checking asks nothing more
    ASSERT_TRUE(settled(prompt));
    EXPECT_EQ(server.requests().size(), 2);
    EXPECT_EQ(current.count(), 0);
    EXPECT_EQ(prompt.phase(), Phase::Updating);
    EXPECT_EQ(updater.phase(), AutoUpdater::Phase::Failed);
    EXPECT_TRUE(updater.message().startsWith("Quindle must be installed in ~/.local/opt/Quindle"));

    // The browser is the way left; "Try Again" asks the server first once more.
    QSignalSpy opened(&prompt, &UpdatePrompt::downloadRequested);
    prompt.openDownload();
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.first().first().toUrl(),
              QUrl("https://downloads.example.org/Quindle-1.10.0.tar.gz"));
    server.answerWith(test::ManifestServer::Answer::ServerError);
    ASSERT_TRUE(prompt.canUpdate());
    prompt.updateNow();
    ASSERT_TRUE(settled(prompt));
    EXPECT_EQ(prompt.phase(), Phase::RecheckFailed);
    EXPECT_EQ(prompt.error(), "Manifest fetch failed: HTTP 500");
    EXPECT_EQ(server.requests().size(), 3);
}

TEST_F(UpdatePromptTest, ACurrentBuildLetsTheGateGoAndOnlyWebAddressesAreOffered) {
    test::ManifestServer newer{
        unsignedWith(R"(https:\/\/downloads.example.org\/)", R"(file:\/\/\/etc\/)")};
    auto fetcher = fetched(newer);
    AutoUpdater updater(AutoUpdater::Settings{});
    UpdatePrompt prompt(*fetcher, updater);
    EXPECT_FALSE(prompt.downloadUrl().has_value());
    QSignalSpy opened(&prompt, &UpdatePrompt::downloadRequested);
    prompt.openDownload();
    EXPECT_EQ(opened.count(), 0);

    test::ManifestServer current{unsignedWith(R"("version": "1.10.0")", R"("version": "0.0.1")")};
    current.answerWith(test::ManifestServer::Answer::Unsigned);
    ManifestFetcher recheck(ManifestFetcher::Settings{current.address(), {}, {2s, 2s}});
    UpdatePrompt gate(recheck, updater);
    QSignalSpy gone(&gate, &UpdatePrompt::current);
    gate.recheck();
    ASSERT_TRUE(gone.wait(10000));
    EXPECT_EQ(recheck.manifest()->version, "0.0.1");
}
