// The update gate's re-check against a real HTTP server on the loopback interface.
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

TEST_F(UpdatePromptTest, TheDownloadOpensOnlyOnceTheServerConfirmsTheNewerVersion) {
    test::ManifestServer server{unsignedWith("", "")};
    auto fetcher = fetched(server);
    UpdatePrompt prompt(*fetcher);
    EXPECT_EQ(prompt.availableVersion(), "1.10.0");
    QSignalSpy opened(&prompt, &UpdatePrompt::downloadRequested);
    QSignalSpy current(&prompt, &UpdatePrompt::current);
    prompt.openDownload();
    EXPECT_EQ(prompt.phase(), Phase::Rechecking);
    prompt.openDownload(); // a second press while re-checking asks nothing more
    ASSERT_TRUE(settled(prompt));
    EXPECT_EQ(prompt.phase(), Phase::Offer);
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.first().first().toUrl(),
              QUrl("https://downloads.example.org/Quindle-1.10.0.tar.gz"));
    EXPECT_EQ(current.count(), 0);
    EXPECT_EQ(server.requests().size(), 2);

    // The server now says this build is current: the gate can go, nothing is opened.
    server.answerWith(test::ManifestServer::Answer::ServerError);
    prompt.recheck();
    ASSERT_TRUE(settled(prompt));
    EXPECT_EQ(prompt.phase(), Phase::RecheckFailed);
    EXPECT_EQ(prompt.error(), "Manifest fetch failed: HTTP 500");
    prompt.openDownloadAnyway();
    EXPECT_EQ(opened.count(), 2);
}

TEST_F(UpdatePromptTest, ACurrentBuildLetsTheGateGoAndOnlyWebAddressesAreOffered) {
    test::ManifestServer newer{
        unsignedWith(R"(https:\/\/downloads.example.org\/)", R"(file:\/\/\/etc\/)")};
    auto fetcher = fetched(newer);
    UpdatePrompt prompt(*fetcher);
    EXPECT_FALSE(prompt.downloadUrl().has_value());
    QSignalSpy opened(&prompt, &UpdatePrompt::downloadRequested);
    prompt.openDownloadAnyway();
    EXPECT_EQ(opened.count(), 0);

    test::ManifestServer current{unsignedWith(R"("version": "1.10.0")", R"("version": "0.0.1")")};
    current.answerWith(test::ManifestServer::Answer::Unsigned);
    ManifestFetcher recheck(ManifestFetcher::Settings{current.address(), {}, {2s, 2s}});
    UpdatePrompt gate(recheck);
    QSignalSpy gone(&gate, &UpdatePrompt::current);
    gate.recheck();
    ASSERT_TRUE(gone.wait(10000));
    EXPECT_EQ(recheck.manifest()->version, "0.0.1");
}
