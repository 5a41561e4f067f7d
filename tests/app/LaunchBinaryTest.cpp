// The real program, offscreen, from launch to its first gate: the test copy built with the test
// signing key against a loopback server.
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include "core/StatePaths.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace quindle;
using Answer = test::ManifestServer::Answer;

namespace {

const test::SignedManifest &signedManifest() {
    static const test::SignedManifest manifest =
        test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY);
    return manifest;
}

} // namespace

class LaunchBinaryTest : public test::TempHomeTest {
protected:
    // Starts the program and waits for a line holding `expected`; the program is then ended.
    // Returns everything it printed.
    QString launchUntil(const QString &expected, const QUrl &address, int timeoutMs = 30000) {
        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("QUINDLE_MANIFEST_URL", address.toString());
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::MergedChannels);
        QString printed;
        QObject::connect(&app, &QProcess::readyRead,
                         [&] { printed += QString::fromUtf8(app.readAll()); });
        app.start(QUINDLE_TESTKEY_BINARY, {});
        EXPECT_TRUE(test::waitUntil([&] { return printed.contains(expected); }, timeoutMs))
            << printed.toStdString();
        app.kill();
        app.waitForFinished();
        return printed;
    }
    // A cache old enough that the splash asks the network, briefly.
    void staleCache(const QByteArray &body) {
        test::writeText(paths::manifestCacheFile(), body);
        QFile file(paths::manifestCacheFile());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                     QFileDevice::FileModificationTime));
    }

    test::ManifestServer server{signedManifest()};
};

TEST_F(LaunchBinaryTest, OnlyANewerSignedVersionShowsTheUpdateGate) {
    staleCache("{}");
    const QString newer =
        launchUntil("Quindle: update available — showing UpdateRequiredPrompt", server.address());
    EXPECT_TRUE(newer.contains("Splash: SplashWindow.show() called"));
    EXPECT_EQ(test::readText(paths::manifestCacheFile()), signedManifest().good);

    // An older version: this build is current.
    test::ManifestServer older{test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY, "0.0.1")};
    staleCache("{}");
    EXPECT_FALSE(
        launchUntil("Quindle: legal acceptance needed — showing LegalAcceptance", older.address())
            .contains("UpdateRequiredPrompt"));

    staleCache("{}");
    server.answerWith(Answer::Tampered);
    const QString tampered =
        launchUntil("Quindle: legal acceptance needed — showing LegalAcceptance", server.address());
    EXPECT_FALSE(tampered.contains("UpdateRequiredPrompt"));
    EXPECT_EQ(test::readText(paths::manifestCacheFile()), "{}");
}

TEST_F(LaunchBinaryTest, WithNothingReachableTheSplashGoesWithinItsWatchdog) {
    QElapsedTimer clock;
    clock.start();
    const QString printed =
        launchUntil("Quindle: legal acceptance needed", QUrl(QUINDLE_TEST_CLOSED_ADDRESS), 40000);
    EXPECT_LT(clock.elapsed(), 25000 + 5000);
    EXPECT_TRUE(printed.contains("Splash: NO cache present — running first-install splash flow"));
    EXPECT_TRUE(printed.contains("Splash: first-install race outcome = failed"));
}
