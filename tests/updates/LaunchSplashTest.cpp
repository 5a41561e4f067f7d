// The launch splash's flows at scaled times against a real HTTP server on the loopback interface.
#include "TestKeyManifest.h"
#include "support/CapturedMessages.h"
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include "core/StatePaths.h"
#include "updates/LaunchSplash.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace quindle;
using namespace std::chrono_literals;
using Status = LaunchSplash::Status;

namespace {

// Nothing listens here: every request to it fails at once.
QUrl closedAddress() {
    return QUrl(QStringLiteral(QUINDLE_TEST_CLOSED_ADDRESS));
}

} // namespace

class LaunchSplashTest : public test::TempHomeTest {
protected:
    // A twenty-fifth of the real limits: the flows keep their order and proportions.
    SplashLimits limits = SplashLimits().scaled(0.04);

    std::unique_ptr<LaunchSplash> splash(const QUrl &primary, const QUrl &fallback,
                                         const QByteArray &key = QUINDLE_TEST_SIGNING_KEY) {
        return std::make_unique<LaunchSplash>(
            ManifestPing::Settings{
                primary, fallback, key, {limits.requestTimeout, limits.requestHardTimeout}},
            limits);
    }
    void writeCache(const QByteArray &body, std::chrono::hours age) {
        test::writeText(paths::manifestCacheFile(), body);
        QFile file(paths::manifestCacheFile());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * age.count()),
                                     QFileDevice::FileModificationTime));
    }
    // Starts the splash and waits for it to go; returns how long it stayed.
    qint64 runToDismissal(LaunchSplash &splash) {
        QSignalSpy dismissed(&splash, &LaunchSplash::dismissed);
        QElapsedTimer clock;
        clock.start();
        splash.start();
        EXPECT_TRUE(test::waitUntil([&] { return dismissed.count() > 0; }, 30000));
        return clock.elapsed();
    }
    QByteArray cache() const { return test::readText(paths::manifestCacheFile()); }

    test::ManifestServer server{test::signedManifest()};
    test::CapturedMessages log;
};

TEST_F(LaunchSplashTest, AFreshCacheSkipsTheNetworkAndAStaleOneWaitsOnlyItsRace) {
    writeCache(test::signedManifest().good, 11h);
    auto fresh = splash(server.address(), server.address());
    const qint64 freshMs = runToDismissal(*fresh);
    EXPECT_EQ(fresh->status(), Status::Success);
    EXPECT_GE(freshMs, limits.freshDisplay.count() - 20);
    EXPECT_TRUE(server.requests().isEmpty());
    ASSERT_FALSE(log.startingWith("Splash: cache FRESH (age ").isEmpty());
    EXPECT_TRUE(log.startingWith("Splash: cache FRESH (age ")
                    .first()
                    .endsWith("s / TTL 43200s) — skipping network entirely"));

    // Stale, and the server never answers: the race ends it, the cache stays as it was.
    writeCache("{\"cached\": true}", 13h);
    server.answerWith(test::ManifestServer::Answer::Silence);
    limits.requestTimeout = limits.requestHardTimeout = 5s;
    auto stale = splash(server.address(), closedAddress());
    const qint64 staleMs = runToDismissal(*stale);
    EXPECT_LT(staleMs, limits.watchdog.count());
    EXPECT_EQ(stale->status(), Status::Success);
    EXPECT_EQ(cache(), "{\"cached\": true}");
    EXPECT_TRUE(
        log.contains("Splash: stale-cache refresh outcome = timedOut (proceeding either way)"));
    EXPECT_EQ(log.startingWith("Splash: cache STALE").size(), 1);
}

TEST_F(LaunchSplashTest, AFirstInstallShowsItsMinimumThenCachesWhatAFallbackAnswers) {
    test::ManifestServer failing{test::signedManifest()};
    failing.answerWith(test::ManifestServer::Answer::ServerError);
    auto first = splash(failing.address(), server.address());
    const qint64 shown = runToDismissal(*first);
    EXPECT_GE(shown, (limits.firstInstallMinimum + limits.successHold).count() - 20);
    EXPECT_EQ(first->status(), Status::Success);
    EXPECT_EQ(cache(), test::signedManifest().good);
    EXPECT_EQ(failing.requests().size(), 1);
    EXPECT_EQ(server.requests().size(), 1);
    // No fingerprint on the splash's request.
    EXPECT_FALSE(server.requests().first().headers.contains("x-qd-fingerprint"));
    const QStringList lines = log.startingWith("Splash: ");
    const QString returned =
        "Splash: manifest fetch primary @ " + failing.address().toString() + " returned HTTP 500";
    for (const QString &line :
         {QString("Splash: NO cache present — running first-install splash flow"), returned,
          QString("Splash: primary manifest fetch failed; trying fallback…"),
          "Splash: manifest cached to " + paths::manifestCacheFile(),
          QString("Splash: minimum-display window elapsed (0.4s)"),
          QString("Splash: first-install race outcome = succeeded"),
          QString("Splash: dismiss() called")})
        EXPECT_TRUE(lines.contains(line)) << line.toStdString();
}

TEST_F(LaunchSplashTest, OfflineOrRefusedBodiesEndInTheOfflineStateWithNothingCached) {
    auto offline = splash(closedAddress(), closedAddress());
    EXPECT_LT(runToDismissal(*offline), limits.watchdog.count());
    EXPECT_EQ(offline->status(), Status::Offline);
    EXPECT_TRUE(
        log.contains("Splash: both primary and fallback failed; offline state will be shown."));
    EXPECT_TRUE(log.contains("Splash: first-install race outcome = failed"));

    // Checking is on: a tampered body is never cached.
    server.answerWith(test::ManifestServer::Answer::Tampered);
    auto tampered = splash(server.address(), closedAddress());
    runToDismissal(*tampered);
    EXPECT_EQ(tampered->status(), Status::Offline);
    EXPECT_FALSE(QFile::exists(paths::manifestCacheFile()));
    EXPECT_TRUE(log.contains("Splash: manifest from " + server.address().toString() +
                             " failed its signature check — not cached"));

    server.answerWith(test::ManifestServer::Answer::NotJson);
    auto page = splash(server.address(), closedAddress());
    runToDismissal(*page);
    EXPECT_TRUE(log.contains("Splash: manifest from " + server.address().toString() +
                             " parsed but wasn't a JSON object"));
    EXPECT_FALSE(QFile::exists(paths::manifestCacheFile()));
}

TEST_F(LaunchSplashTest, ADripHitsTheHardTimeoutAndTheWatchdogEndsWhatOutlastsIt) {
    // Silence between bytes shorter than the idle limit: only the total deadline ends it.
    limits.requestTimeout = 1500ms;
    limits.requestHardTimeout = 400ms;
    limits.firstInstallRace = 5000ms;
    server.answerWith(test::ManifestServer::Answer::Drip);
    auto drip = splash(server.address(), closedAddress());
    runToDismissal(*drip);
    EXPECT_TRUE(log.contains("Splash: primary manifest fetch hit per-call hard timeout (0.4s)"));
    EXPECT_FALSE(QFile::exists(paths::manifestCacheFile()));

    // A request that outlasts every race: the watchdog forces the end.
    limits = SplashLimits().scaled(0.04);
    limits.firstInstallRace = 60s;
    limits.requestHardTimeout = 60s;
    limits.requestTimeout = 60s;
    server.answerWith(test::ManifestServer::Answer::Silence);
    auto silent = splash(server.address(), closedAddress());
    const qint64 shown = runToDismissal(*silent);
    EXPECT_LT(shown, limits.watchdog.count() + 1000);
    EXPECT_TRUE(log.contains("Splash: absolute watchdog fired (1.0s) — forcing dismiss"));
}

TEST_F(LaunchSplashTest, DismissalHappensOnceAndOnlyCancelOrAnEarlyCloseQuits) {
    writeCache(test::signedManifest().good, 1h);
    auto once = splash(server.address(), server.address());
    QSignalSpy dismissed(once.get(), &LaunchSplash::dismissed);
    QSignalSpy quit(once.get(), &LaunchSplash::quitRequested);
    once->dismiss();
    once->dismiss();
    EXPECT_EQ(dismissed.count(), 1);
    EXPECT_TRUE(log.contains("Splash: dismiss() called again — ignoring"));
    once->windowClosed(); // the window going after dismissal
    EXPECT_EQ(quit.count(), 0);

    auto early = splash(server.address(), server.address());
    QSignalSpy earlyQuit(early.get(), &LaunchSplash::quitRequested);
    early->windowClosed();
    EXPECT_TRUE(log.contains("Splash: window willClose — terminating app"));
    early->cancel();
    EXPECT_TRUE(log.contains("Splash: Cancel button tapped — terminating app"));
    EXPECT_EQ(earlyQuit.count(), 2);
}
