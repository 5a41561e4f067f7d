// Updates installed in place from a loopback server, with the real tar, updater script and
// exchange tool, into install folders under a temporary home.
#include "support/FakeBuild.h"
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/TreeGenerator.h"
#include "support/WaitUntil.h"

#include "updates/AutoUpdater.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace quindle;
using namespace std::chrono_literals;
using UpdaterPhase = AutoUpdater::Phase;
using Answer = test::ManifestServer::Answer;

class AutoUpdaterTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        test::writeFakeBuild(install, "Quindle 2.0.0", 0, QUINDLE_SWAP);
        test::writeFakeBuild(inHome("work/" + top), "Quindle 2.1.0", 0, QUINDLE_SWAP);
        QDir().mkpath(inHome("tmp"));
        before = test::treeDigest(install);
        application.start("sleep", {"60"});
        ASSERT_TRUE(application.waitForStarted());
    }
    void TearDown() override {
        test::writeText(inHome("stop"), "");
        application.kill();
        application.waitForFinished();
        TempHomeTest::TearDown();
    }

    AutoUpdater::Settings settings() const {
        AutoUpdater::Settings s;
        s.installFolder = install;
        s.canVerify = true;
        s.parentPid = application.processId();
        s.downloadFolder = inHome("tmp");
        s.workPrefix = inHome("tmp/quindle-updater-");
        s.idleLimit = 2s;
        s.quitDelay = 10ms;
        s.parentChecks = 100;
        s.startWaitSeconds = 1;
        return s;
    }
    // The offer of version 2.1.0 served as `archive`, pinned by its checksum.
    ManifestV2 offer(const QByteArray &archive) {
        ManifestV2 manifest;
        manifest.version = "2.1.0";
        manifest.downloadUrl = server.serveFile("/" + top.toUtf8() + ".tar.gz", archive);
        manifest.sha256 = QCryptographicHash::hash(archive, QCryptographicHash::Sha256).toHex();
        return manifest;
    }
    QByteArray goodArchive() const { return test::packBuild(inHome("work"), top); }
    // The message of a run that must fail, after checking it changed and started nothing.
    QString failure(const ManifestV2 &manifest, AutoUpdater::Settings s) {
        AutoUpdater updater(std::move(s));
        updater.run(manifest);
        EXPECT_TRUE(test::waitUntil([&] { return !updater.isRunning(); }, 20000));
        EXPECT_EQ(updater.phase(), UpdaterPhase::Failed);
        EXPECT_EQ(test::treeDigest(install), before);
        EXPECT_EQ(besideInstall(), QStringList{"Quindle"});
        EXPECT_TRUE(QDir(inHome("tmp")).entryList({"quindle-updater-*"}).isEmpty());
        return updater.message();
    }
    QString failure(const ManifestV2 &manifest) { return failure(manifest, settings()); }
    QStringList besideInstall() const {
        return QDir(inHome("opt"))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    const QString top = "quindle-2.1.0-linux-x86_64";
    const QString install = inHome("opt/Quindle");
    QByteArray before;
    QProcess application; // stands for Quindle: the updater waits for it to exit
    test::ManifestServer server{test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY)};
};

TEST_F(AutoUpdaterTest, ReplacesTheInstallFolderAndStartsTheNewVersionOnceQuindleHasQuit) {
    const QByteArray archive = goodArchive();
    ManifestV2 manifest = offer(archive);
    manifest.sha256 = manifest.sha256->toUpper(); // the same digest, however it is written
    AutoUpdater updater(settings());
    QList<UpdaterPhase> phases;
    QObject::connect(&updater, &AutoUpdater::changed, [&] {
        if (phases.isEmpty() || phases.last() != updater.phase())
            phases << updater.phase();
    });
    QSignalSpy quit(&updater, &AutoUpdater::quitRequested);
    const qint64 parent = application.processId();
    updater.run(manifest);
    updater.run(manifest); // a second press while downloading starts nothing
    ASSERT_TRUE(quit.wait(20000)) << updater.message().toStdString();
    EXPECT_EQ(phases, (QList<UpdaterPhase>{UpdaterPhase::Downloading, UpdaterPhase::Verifying,
                                           UpdaterPhase::Installing, UpdaterPhase::Relaunching,
                                           UpdaterPhase::Succeeded}));
    EXPECT_EQ(server.requests().size(), 1);
    // Nothing is replaced while Quindle still runs.
    EXPECT_EQ(test::treeDigest(install), before);
    application.kill();
    application.waitForFinished();

    const QStringList logs = QDir(inHome("tmp")).entryList({"quindle-updater-*.log"});
    ASSERT_EQ(logs.size(), 1);
    const QString log = inHome("tmp/" + logs.first());
    ASSERT_TRUE(
        test::waitUntil([&] { return test::readText(log).contains("Updater finished"); }, 20000))
        << test::readText(log).toStdString();
    EXPECT_EQ(test::treeDigest(install), test::treeDigest(inHome("work/" + top)));
    EXPECT_TRUE(QFileInfo::exists(inHome("started-" + top))); // the new build, not the old
    EXPECT_EQ(besideInstall(), QStringList{"Quindle"});
    EXPECT_FALSE(QFileInfo::exists(updater.archive()));
    const QString said = test::readText(log);
    const QStringList order{"Updater started, parent PID " + QString::number(parent),
                            "Replaced " + install, "Relaunched " + install,
                            "Updater finished, relaunched"};
    qsizetype at = 0;
    for (const QString &line : order) {
        at = said.indexOf(line, at);
        EXPECT_GE(at, 0) << line.toStdString() << "\n" << said.toStdString();
    }
}

TEST_F(AutoUpdaterTest, ADownloadThatGoesWrongIsReportedAndReplacesNothing) {
    const QByteArray archive = goodArchive();
    const QString prefix = "Couldn't download the update: ";
    server.answerFilesWith(Answer::ServerError);
    EXPECT_EQ(failure(offer(archive)), prefix + "Server returned HTTP 500");
    server.answerFilesWith(Answer::CutShort);
    EXPECT_EQ(failure(offer(archive)), prefix + "Connection closed");
    server.answerFilesWith(Answer::Silence);
    EXPECT_EQ(failure(offer(archive)), prefix + "The request timed out.");

    // Without a length a cut-short body looks whole; only the checksum catches it.
    server.answerFilesWith(Answer::CutShortWithoutLength);
    const ManifestV2 cut = offer(archive);
    const QString actual =
        QCryptographicHash::hash(archive.left(archive.size() / 2), QCryptographicHash::Sha256)
            .toHex();
    EXPECT_EQ(failure(cut), "Verification failed — the downloaded file's signature doesn't match "
                            "the manifest. Your network may be modifying the download. (Expected " +
                                cut.sha256->left(12) + "…, got " + actual.left(12) + "…)");
    // The tarballs stay for a look; an address off this computer is never asked.
    EXPECT_EQ(QDir(inHome("tmp")).entryList({"quindle-update-*.tar.gz"}).size(), 4);
    ManifestV2 plain = offer(archive);
    plain.downloadUrl = QUrl("http://192.0.2.1/update.tar.gz");
    EXPECT_TRUE(failure(plain).startsWith(prefix));
}

TEST_F(AutoUpdaterTest, AnArchiveThatIsNoGoodBuildIsRefusedByThePackageCheck) {
    const QString prefix = "The package check failed on the downloaded file. ";
    const QString suffix = " Try again, or use 'Open download in browser' to grab a fresh copy.";
    EXPECT_EQ(failure(offer("<html>Not found</html>")),
              prefix + "The archive could not be unpacked (tar exit 2)." + suffix);
    test::writeFakeBuild(inHome("work/" + top), "Quindle 2.2.0", 0, QUINDLE_SWAP);
    EXPECT_EQ(failure(offer(goodArchive())),
              prefix + "The new build reports version 2.2.0, but the manifest offers 2.1.0." +
                  suffix);
}

TEST_F(AutoUpdaterTest, WhatCannotBeVerifiedOrInstalledHereIsRefusedBeforeDownloading) {
    const ManifestV2 good = offer(goodArchive());
    AutoUpdater::Settings development = settings();
    development.installFolder.reset();
    const QString install = "Quindle must be installed in ~/.local/opt/Quindle before auto-update "
                            "can run. Extract the new archive into ~/.local/opt and relaunch.";
    EXPECT_EQ(failure(good, development), install);

    AutoUpdater::Settings unkeyed = settings();
    unkeyed.canVerify = false;
    EXPECT_EQ(failure(good, unkeyed), "This build has no update signing key, so it can't verify "
                                      "the download. Use 'Open Download in Browser' instead.");
    ManifestV2 noSum = good;
    noSum.sha256.reset();
    EXPECT_EQ(failure(noSum), "The update manifest has no checksum for this download, so Quindle "
                              "can't verify it. Use 'Open Download in Browser' instead.");
    ManifestV2 nowhere = good;
    nowhere.downloadUrl.reset();
    EXPECT_EQ(failure(nowhere), "The update manifest doesn't say where to download v2.1.0.");
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(AutoUpdaterTest, LeftoversGoOnceNoUpdaterCanStillNeedThem) {
    for (const char *name : {".quindle-update-1/build/bin", ".quindle-previous-2/bin", "keep/bin"})
        QDir().mkpath(inHome("opt/") + name);
    QFile::link(inHome("work"), inHome("opt/.quindle-update-link"));
    AutoUpdater::removeLeftovers(install, std::chrono::hours(1));
    EXPECT_EQ(besideInstall().size(), 5); // too recent: an updater may be at work
    AutoUpdater::removeLeftovers(install, 0s);
    EXPECT_EQ(besideInstall(), (QStringList{".quindle-update-link", "keep", "Quindle"}));
    EXPECT_TRUE(QFileInfo::exists(inHome("work/" + top + "/bin/quindle")));
}
