// The uninstaller against the real detached service, relocations onto a drive inside a stand-in
// volumes root, and the desktop trash, in a home whose name needs quoting.
#include "core/Uninstaller.h"
#include "core/DriveIdentity.h"
#include "core/Installer.h"
#include "core/StatePaths.h"
#include "platform/DetachedService.h"
#include "support/FakeExecutables.h"
#include "support/TempHome.h"
#include "support/TreeGenerator.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

using namespace quindle;
using test::writeText;

class UninstallerTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        const QString odd = inHome("sam's home");
        QDir().mkpath(odd);
        setEnv("HOME", odd);
        setEnv("XDG_CONFIG_HOME", odd + "/.config");
        setEnv("XDG_DATA_HOME", QString());
        setEnv("QUINDLE_SERVICE_MANAGER", "detached");
        setEnv("QUINDLE_VOLUMES_ROOT", inHome("media"));
        // A marked drive holding two relocated folders, and an unmarked one.
        writeText(markerFile(drive), "volume_uuid=1\n");
        relocate(".npm", drive + "/Work/.npm", true);
        relocate(".cargo", drive + "/Work/.cargo", false);
        relocate(".m2", inHome("media/USB/m2"), false);        // unmarked, no backup: not ours
        relocate(".gradle", inHome("elsewhere/gradle"), true); // not on a drive
        writeText(home(".local/opt/Quindle/bin/quindle"), "#!/bin/bash\n");
        writeText(home(".local/opt/Quindle/Resources/Scripts/quindle.sh"), "");
        driveBefore = test::treeDigest(inHome("media"));
    }
    void TearDown() override {
        if (platform::runningDetachedService())
            platform::makeServiceManager(platform::ServiceManagerKind::Detached, {})->unload();
        TempHomeTest::TearDown();
    }

    QString home(const QString &relative) const {
        return qEnvironmentVariable("HOME") + '/' + relative;
    }
    void relocate(const QString &name, const QString &target, bool backup) {
        writeText(target + "/data", "on the drive");
        QFile::link(target, home(name));
        if (backup)
            writeText(home(name + ".tarnel-old/data"), "the old copy");
    }
    static QStringList run(Uninstaller &uninstaller) {
        const QFuture<bool> done = uninstaller.uninstall();
        EXPECT_TRUE(test::waitUntil([&] { return done.isFinished(); }, 30000));
        EXPECT_EQ(uninstaller.phase(), Uninstaller::Phase::Done);
        return uninstaller.log();
    }

    const QString drive = inHome("media/NVMe");
    QByteArray driveBefore;
};

TEST_F(UninstallerTest, RemovesTheServiceAndPutsBackOnlyItsOwnRelocations) {
    Installer installer;
    const QFuture<bool> installed = installer.install();
    ASSERT_TRUE(test::waitUntil([&] { return installed.isFinished(); }, 30000));
    ASSERT_TRUE(installed.result()) << installer.log().join('\n').toStdString();
    ASSERT_TRUE(platform::runningDetachedService().has_value());
    const QList<Relocation> found = Uninstaller::detectRelocations();
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found.at(0).path, home(".cargo"));
    EXPECT_FALSE(found.at(0).hasBackup);

    Uninstaller uninstaller(detectOnce());
    const QStringList log = run(uninstaller);
    EXPECT_TRUE(log.contains("Revert summary — restored: 1, no-backup: 1, failed: 0"))
        << log.join('\n').toStdString();
    EXPECT_FALSE(platform::runningDetachedService().has_value());
    EXPECT_TRUE(log.contains("Removed Autostart entry: quindle-service.desktop"));
    EXPECT_EQ(test::readText(home(".npm/data")), "the old copy");
    EXPECT_TRUE(QFileInfo(home(".cargo")).isDir() && !QFileInfo(home(".cargo")).isSymLink());
    EXPECT_TRUE(QFileInfo(home(".m2")).isSymLink());
    EXPECT_TRUE(QFileInfo(home(".gradle")).isSymLink());
    EXPECT_EQ(test::treeDigest(inHome("media")), driveBefore);
    EXPECT_FALSE(QFileInfo::exists(paths::shimFile()));
    EXPECT_FALSE(QFileInfo::exists(paths::quindleDirectory()));
    // The trash is made even though ~/.local/share was not there before.
    EXPECT_FALSE(QFileInfo::exists(home(".local/opt/Quindle")));
    EXPECT_TRUE(QFileInfo::exists(home(".local/share/Trash/files/Quindle/bin/quindle")));
    EXPECT_TRUE(QFileInfo::exists(home(".local/share/Trash/info/Quindle.trashinfo")));
    EXPECT_EQ(log.last(), "✓ Uninstall complete.");
}

TEST_F(UninstallerTest, WithEveryOptionOffOnlyTheServiceEntriesAndShimsGo) {
    Installer installer;
    const QFuture<bool> installed = installer.install();
    ASSERT_TRUE(test::waitUntil([&] { return installed.isFinished(); }, 30000));
    writeText(paths::localBinDirectory() + "/dwctl", "");

    Uninstaller uninstaller(detectOnce());
    uninstaller.revertRelocations = false;
    uninstaller.removeConfigAndLogs = false;
    uninstaller.moveAppToTrash = false;
    const QStringList log = run(uninstaller);
    EXPECT_FALSE(platform::runningDetachedService().has_value());
    EXPECT_TRUE(log.contains("Removed CLI shim: " + paths::shimFile()));
    EXPECT_TRUE(log.contains("Removed legacy CLI shim: " + paths::localBinDirectory() + "/dwctl"));
    EXPECT_TRUE(QFileInfo(home(".npm")).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(paths::configFile()));
    EXPECT_TRUE(QFileInfo::exists(home(".local/opt/Quindle/bin/quindle")));
    EXPECT_EQ(test::treeDigest(inHome("media")), driveBefore);
}

TEST_F(UninstallerTest, APackagedInstallIsLeftToItsPackageManager) {
    if (QStandardPaths::findExecutable("dpkg-query").isEmpty())
        GTEST_SKIP() << "dpkg is not installed";
    const QString folder = home(".local/opt/Quindle");
    const QString admin = inHome("dpkg");
    writeText(admin + "/status", "Package: quindle\nStatus: install ok installed\nVersion: 1\n"
                                 "Architecture: all\nMaintainer: A <a@b>\nDescription: d\n\n");
    writeText(admin + "/info/quindle.list", (folder + "\n" + folder + "/bin/quindle\n").toUtf8());
    QDir().mkpath(admin + "/updates");
    setEnv("QUINDLE_DPKG_ADMINDIR", admin);

    Uninstaller uninstaller(detectOnce());
    uninstaller.revertRelocations = false;
    uninstaller.removeConfigAndLogs = false;
    const QStringList log = run(uninstaller);
    const QString refusal = log.filter("⚠ Could not Trash").value(0);
    EXPECT_TRUE(refusal.startsWith("⚠ Could not Trash " + folder +
                                   ": it belongs to the package "
                                   "quindle; remove it with “sudo "))
        << log.join('\n').toStdString();
    EXPECT_TRUE(QFileInfo::exists(folder + "/bin/quindle"));
}
