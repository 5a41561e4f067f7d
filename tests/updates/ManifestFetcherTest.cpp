// The fetcher against a real HTTP server on the loopback interface.
#include "TestKeyManifest.h"
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include "core/BuildSettings.h"
#include "core/StatePaths.h"
#include "updates/ManifestFetcher.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace quindle;
using namespace std::chrono_literals;

namespace {

// What systemd derives from this computer's machine ID for `appId`, when systemd-id128 is here.
std::optional<QByteArray> systemdAppSpecificId(const QByteArray &appId) {
    QProcess systemd;
    systemd.start("systemd-id128",
                  {"machine-id", QStringLiteral("--app-specific=") + QString::fromLatin1(appId)});
    if (!systemd.waitForFinished(10000) || systemd.exitCode() != 0)
        return std::nullopt;
    return systemd.readAllStandardOutput().trimmed();
}

} // namespace

class ManifestFetcherTest : public test::TempHomeTest {
protected:
    // Limits a drip or a silence outlasts within seconds; the idle one above the drip's second.
    ManifestFetcher::Settings settings(const QByteArray &key = QUINDLE_TEST_SIGNING_KEY) const {
        return {server.address(), key, FetchLimits{1500ms, 3000ms}};
    }

    static void refresh(ManifestFetcher &fetcher) {
        const QFuture<void> done = fetcher.refresh();
        EXPECT_TRUE(fetcher.inFlight());
        ASSERT_TRUE(test::waitUntil([&] { return done.isFinished(); }, 30000));
        EXPECT_FALSE(fetcher.inFlight());
        EXPECT_TRUE(fetcher.lastChecked().has_value());
    }

    QByteArray cache() const { return test::readText(paths::manifestCacheFile()); }

    test::ManifestServer server{test::signedManifest()};
};

TEST_F(ManifestFetcherTest, AcceptsTheSignedManifestWithTheBuildKeyAndCachesItsBytes) {
    setEnv("QUINDLE_MANIFEST_URL", server.address().toString());
    ManifestFetcher fetcher; // the build's address and key, as the program makes it
    EXPECT_FALSE(fetcher.manifest().has_value());
    QSignalSpy changes(&fetcher, &ManifestFetcher::changed);
    refresh(fetcher);

    EXPECT_EQ(fetcher.lastError(), std::nullopt);
    EXPECT_TRUE(fetcher.hasFreshManifest());
    ASSERT_TRUE(fetcher.manifest().has_value());
    EXPECT_EQ(fetcher.manifest()->version, test::SignedManifest::version);
    EXPECT_TRUE(fetcher.updateAvailable()); // this build is older than 1.10.0
    EXPECT_EQ(cache(), test::signedManifest().good);
    EXPECT_EQ(changes.count(), 2); // in flight, then done

    // The next run starts from the cache, which does not make it fresh.
    const ManifestFetcher next;
    ASSERT_TRUE(next.manifest().has_value());
    EXPECT_EQ(next.manifest()->version, test::SignedManifest::version);
    EXPECT_FALSE(next.hasFreshManifest());
    EXPECT_FALSE(next.lastChecked().has_value());
}

TEST_F(ManifestFetcherTest, ARefusedAnswerLeavesTheManifestAndTheCacheByteForByte) {
    ManifestFetcher fetcher(settings());
    refresh(fetcher);
    ASSERT_EQ(cache(), test::signedManifest().good);

    QByteArray otherKey = QUINDLE_TEST_SIGNING_KEY;
    otherKey[otherKey.size() - 1] = static_cast<char>(otherKey.back() ^ 1);
    ManifestFetcher otherKeyFetcher(settings(otherKey));

    QJsonParseError notJson;
    QJsonDocument::fromJson("<html><body>Maintenance</body></html>", &notJson);
    QJsonParseError half;
    QJsonDocument::fromJson(
        test::signedManifest().good.left(test::signedManifest().good.size() / 2), &half);

    const struct {
        test::ManifestServer::Answer answer;
        ManifestFetcher *fetcher;
        QString error;
    } cases[] = {
        {test::ManifestServer::Answer::Tampered, &fetcher,
         "Manifest signature mismatch — refusing payload"},
        {test::ManifestServer::Answer::Good, &otherKeyFetcher,
         "Manifest signature mismatch — refusing payload"},
        {test::ManifestServer::Answer::Unsigned, &fetcher,
         "Manifest missing signature — refusing payload"},
        {test::ManifestServer::Answer::RedirectAway, &fetcher,
         "Network error: only https addresses are allowed"},
        {test::ManifestServer::Answer::NotModified, &fetcher, "Manifest fetch failed: HTTP 304"},
        {test::ManifestServer::Answer::ServerError, &fetcher, "Manifest fetch failed: HTTP 500"},
        {test::ManifestServer::Answer::NotJson, &fetcher,
         "Couldn't parse manifest: " + notJson.errorString()},
        {test::ManifestServer::Answer::CutShortWithoutLength, &fetcher,
         "Couldn't parse manifest: " + half.errorString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error.toStdString());
        server.answerWith(c.answer);
        refresh(*c.fetcher);
        EXPECT_EQ(c.fetcher->lastError(), c.error);
        EXPECT_EQ(cache(), test::signedManifest().good);
        ASSERT_TRUE(c.fetcher->manifest().has_value());
        EXPECT_EQ(c.fetcher->manifest()->version, test::SignedManifest::version);
    }
    EXPECT_TRUE(fetcher.hasFreshManifest()); // from the first fetch of this run
    EXPECT_FALSE(otherKeyFetcher.hasFreshManifest());

    server.answerWith(test::ManifestServer::Answer::CutShort);
    refresh(fetcher);
    EXPECT_TRUE(fetcher.lastError().value_or(QString()).startsWith("Network error: "))
        << fetcher.lastError().value_or(QString()).toStdString();
    EXPECT_EQ(cache(), test::signedManifest().good);
}

TEST_F(ManifestFetcherTest, AcceptsAnUnsignedManifestWhenNoKeyIsBuiltIn) {
    server.answerWith(test::ManifestServer::Answer::Unsigned);
    ManifestFetcher unchecked(settings(QByteArray()));
    refresh(unchecked);
    EXPECT_EQ(unchecked.lastError(), std::nullopt);
    EXPECT_EQ(cache(), test::signedManifest().unsigned_);
}

TEST_F(ManifestFetcherTest, SlowAndSilentServersEndAtTheLimits) {
    ManifestFetcher fetcher(settings());
    // A byte a second never trips the idle limit: only the total deadline ends it.
    for (const auto answer :
         {test::ManifestServer::Answer::Drip, test::ManifestServer::Answer::Silence}) {
        server.answerWith(answer);
        refresh(fetcher);
        EXPECT_EQ(fetcher.lastError(), "Network error: The request timed out.");
        EXPECT_FALSE(fetcher.manifest().has_value());
        EXPECT_FALSE(QFile::exists(paths::manifestCacheFile()));
    }
}

TEST_F(ManifestFetcherTest, ASecondRefreshWhileOneRunsSendsNothing) {
    server.answerWith(test::ManifestServer::Answer::Silence);
    ManifestFetcher fetcher(settings());
    const QFuture<void> first = fetcher.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return server.requests().size() == 1; }));
    const QFuture<void> second = fetcher.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return first.isFinished(); }, 30000));
    EXPECT_TRUE(second.isFinished());
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(ManifestFetcherTest, RequestsCarryTheProductHeadersAndNeverTheMachineId) {
    ManifestFetcher fetcher(settings());
    refresh(fetcher);
    ASSERT_EQ(server.requests().size(), 1);
    const test::ManifestServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/manifest.json");
    const QByteArray version = build::version().toUtf8();
    EXPECT_EQ(request.headers.value("user-agent"), "Quindle/" + version + " (Linux)");
    EXPECT_EQ(request.headers.value("x-qd-version"), version);

    QFile machineIdFile("/etc/machine-id");
    if (!machineIdFile.open(QIODevice::ReadOnly)) {
        EXPECT_FALSE(request.headers.contains("x-qd-fingerprint"));
        return;
    }
    const QByteArray machineId = machineIdFile.readAll().trimmed().toLower();
    for (auto it = request.headers.cbegin(); it != request.headers.cend(); ++it)
        EXPECT_FALSE(it.value().toLower().replace('-', "").contains(machineId)) << it.key().data();
    EXPECT_FALSE(request.target.toLower().contains(machineId));

    const std::optional<QByteArray> expected =
        systemdAppSpecificId("299de0867fb24033bc10390175761b7e");
    if (!expected)
        GTEST_SKIP() << "systemd-id128 is not installed, so the fingerprint is not compared.";
    EXPECT_EQ(request.headers.value("x-qd-fingerprint"), *expected);
}

TEST_F(ManifestFetcherTest, NoAddressOrAForbiddenOneFailsWithoutARequest) {
    const struct {
        const char *address;
        QString error;
    } cases[] = {
        {"", "Manifest fetch failed: no manifest address is configured"},
        {"file:///etc/hostname", "Network error: only https addresses are allowed"},
        {"ftp://127.0.0.1/manifest.json", "Network error: only https addresses are allowed"},
        {"http://192.0.2.1/manifest.json", "Network error: only https addresses are allowed"},
    };
    for (const auto &c : cases) {
        ManifestFetcher fetcher({QUrl(QString::fromUtf8(c.address)), QUINDLE_TEST_SIGNING_KEY,
                                 FetchLimits{1500ms, 3000ms}});
        refresh(fetcher);
        EXPECT_EQ(fetcher.lastError(), c.error) << c.address;
        EXPECT_FALSE(fetcher.manifest().has_value());
    }
}
