#include "core/Installer.h"
#include "config/BashReader.h"
#include "core/StatePaths.h"
#include "core/StatusModel.h"
#include "platform/DetachedService.h"
#include "platform/UserService.h"
#include "support/FakeExecutables.h"
#include "support/FakeServiceManager.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QProcess>

using namespace quindle;
using test::readText;
using test::writeText;

namespace {

// The arguments of every live process whose command line mentions `text`.
QList<QStringList> processesMentioning(const QString &text) {
    QList<QStringList> found;
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
        const QByteArray stat = readText("/proc/" + pid + "/stat");
        const QByteArray cmdline = readText("/proc/" + pid + "/cmdline");
        if (pid.toLongLong() > 0 && stat.mid(stat.lastIndexOf(')') + 2, 1) != "Z" &&
            cmdline.contains(text.toUtf8()))
            found << QString::fromUtf8(cmdline).split(QChar(0));
    }
    return found;
}

} // namespace

class InstallerTest : public test::TempHomeTest {
protected:
    void TearDown() override {
        // Never leave a real service running behind a failed expectation.
        if (platform::runningDetachedService())
            platform::makeServiceManager(platform::ServiceManagerKind::Detached, {})->unload();
        TempHomeTest::TearDown();
    }

    // A copy of the shipped scripts without `missing`.
    QString bundle(const QStringList &missing = {}) {
        const QString dir = inHome("bundle");
        QDir().mkpath(dir);
        const QDir source(QStringLiteral(QUINDLE_SOURCE_DIR "/service"));
        for (const QString &name : source.entryList(QDir::Files))
            if (!missing.contains(name))
                QFile::copy(source.filePath(name), dir + '/' + name);
        return dir;
    }

    std::shared_ptr<test::FakeServiceManager> fake = std::make_shared<test::FakeServiceManager>(
        inHome(".config/autostart/quindle-service.desktop"));
    Installer::ManagerSource fakeSource = [manager = fake] { return manager; };
};

TEST_F(InstallerTest, TheDetachedFallbackRunsInAHostileHomeKeepsTheConfigAndStopsCompletely) {
    // A home folder whose path every quoting layer has to get right.
    const QString hostile = inHome("we ird $x 'q\" %h \\ ;");
    QDir().mkpath(hostile);
    setEnv("HOME", hostile);
    setEnv("XDG_CONFIG_HOME", hostile + "/.config");
    setEnv("QUINDLE_SERVICE_MANAGER", QString());
    test::FakeExecutables fakes;
    const QString asked = fakes.directory() + "/asked";
    fakes.add("systemctl", "echo \"$*\" >>'" + asked.toUtf8() +
                               "'; echo 'Failed to connect to bus: No medium found' >&2; exit 1");
    fakes.putFirstOnPath();
    const QByteArray config = "NVMe=\"/mine\"\n# edited by hand\n";
    writeText(paths::configFile(), config);

    Installer installer;
    ASSERT_TRUE(test::resultOf(installer.install())) << installer.log().join('\n').toStdString();
    ASSERT_TRUE(test::resultOf(installer.install())) << installer.log().join('\n').toStdString();
    EXPECT_EQ(installer.log().filter("systemctl"), QStringList());
    const QStringList questions =
        QString::fromUtf8(readText(asked)).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(QSet<QString>(questions.begin(), questions.end()),
              QSet<QString>{"--user show-environment"});
    EXPECT_EQ(readText(paths::configFile()), config);
    const QList<QStringList> processes = processesMentioning(hostile);
    EXPECT_EQ(
        std::count_if(processes.begin(), processes.end(),
                      [](const QStringList &args) { return args.value(3) == "quindle-service"; }),
        1)
        << "supervisors";

    ASSERT_TRUE(test::waitUntil([] { return QFile::exists(paths::statusFile()); }, 10000));
    StatusModel model;
    test::resultOf(model.refreshAsync());
    EXPECT_TRUE(model.serviceInstalled());
    EXPECT_TRUE(model.serviceLoaded());
    ASSERT_TRUE(model.status().has_value()) << model.lastError().value_or("").toStdString();

    // The shim reaches the installed script with its arguments intact.
    QProcess shim;
    shim.setProcessChannelMode(QProcess::MergedChannels);
    shim.start(paths::shimFile(), {"bogus", "a b"});
    ASSERT_TRUE(shim.waitForFinished(10000));
    EXPECT_EQ(shim.exitCode(), 2);
    EXPECT_TRUE(shim.readAll().contains("unknown sub-command \"bogus\""));

    EXPECT_EQ(test::resultOf(model.stopService()).status, 0);
    EXPECT_FALSE(model.serviceLoaded());
    EXPECT_TRUE(test::waitUntil([&] { return processesMentioning(hostile).isEmpty(); }, 5000));
    // Asked to stop, not killed: the watch loop had its say.
    EXPECT_TRUE(readText(paths::serviceLog()).contains("Service stopped."));
}

TEST_F(InstallerTest, ACompleteInstallNamesTheDriveForBashAndAnUpgradeReplacesOnlyWhatChanged) {
    const QString scripts = bundle();
    Installer installer(fakeSource, scripts);
    const QString drive = "/media/u/a \"b\" $c `d` \\e 'f'";
    installer.setDrivePath(drive);
    // The Apps window's first root, here the default list's, reaches the service.
    QDir().mkpath(inHome("Applications"));
    EXPECT_EQ(test::resultOf(installer.upgradeScriptsIfNeeded()),
              QStringList()); // nothing installed
    ASSERT_TRUE(test::resultOf(installer.install()));
    EXPECT_EQ(installer.log().filter("⚠"), QStringList());
    EXPECT_EQ(installer.log().last(), "✓ Install complete.");
    EXPECT_EQ(fake->installs, 1);
    EXPECT_EQ(fake->loads, 1);
    // Every script the build ships is installed, executable.
    const QFile::Permissions executable = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const QDir shipped(scripts);
    for (const QString &name : shipped.entryList({"*.sh"}, QDir::Files)) {
        const QString installed = paths::quindleDirectory() + '/' + name;
        EXPECT_EQ(readText(installed), readText(shipped.filePath(name))) << name.toStdString();
        EXPECT_EQ(QFile::permissions(installed) & executable, executable) << name.toStdString();
    }
    EXPECT_EQ(QFile::permissions(paths::shimFile()) & executable, executable);
    const auto config = test::sourceWithBash(paths::configFile(), {"NVMe", "APPS_ROOT"}).values;
    EXPECT_EQ(config.value("NVMe"), QStringList{drive});
    EXPECT_EQ(config.value("APPS_ROOT"), QStringList{inHome("Applications")});
    // Without a bundled template the built-in one is the same text.
    EXPECT_EQ(Installer::builtInConfigurationTemplate(),
              QString::fromUtf8(readText(QUINDLE_SOURCE_DIR "/service/quindle.conf")));

    EXPECT_EQ(test::resultOf(installer.upgradeScriptsIfNeeded()), QStringList());
    EXPECT_EQ(fake->loads, 1);
    writeText(scripts + "/quindle.sh", readText(scripts + "/quindle.sh") + "\n# newer\n");
    writeText(scripts + "/quindle.conf", "# a new template is not an upgrade\n");
    // As left by a version that did not have this library yet.
    QFile::remove(paths::quindleDirectory() + "/lib-rules.sh");
    EXPECT_EQ(test::resultOf(installer.upgradeScriptsIfNeeded()),
              (QStringList{"lib-rules.sh", "quindle.sh"}));
    EXPECT_EQ(fake->loads, 2);
    EXPECT_EQ(readText(paths::serviceScript()), readText(scripts + "/quindle.sh"));
    EXPECT_TRUE(QFile::permissions(paths::serviceScript()) & QFile::ExeOwner);
}

TEST_F(InstallerTest, AMissingServiceScriptOrFolderFailsWithTheBundleMessage) {
    for (const QString missing : {"quindle.sh", "lib-rules.sh", ""}) {
        Installer installer(fakeSource, missing.isEmpty() ? QString() : bundle({missing}));
        EXPECT_FALSE(test::resultOf(installer.install()));
        EXPECT_EQ(installer.phase(), (Installer::Phase{Installer::Phase::Step::Failed,
                                                       Installer::bundleMissingScriptsMessage()}));
        EXPECT_EQ(installer.log().last(),
                  "✗ Install failed: " + Installer::bundleMissingScriptsMessage());
        QDir(inHome("bundle")).removeRecursively();
    }
    EXPECT_EQ(fake->installs, 0);
    EXPECT_EQ(fake->loads, 0);
}
