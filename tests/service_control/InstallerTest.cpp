#include "core/Installer.h"
#include "FakeServiceManager.h"
#include "core/StatePaths.h"
#include "core/StatusModel.h"
#include "platform/UserService.h"
#include "support/FakeExecutables.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QProcess>

using namespace quindle;
using test::readText;
using test::writeText;
using Step = Installer::Phase::Step;

namespace {

template <typename T> T await(const QFuture<T> &future, int ms = 30000) {
    EXPECT_TRUE(test::waitUntil([&] { return future.isFinished(); }, ms));
    if constexpr (!std::is_void_v<T>)
        return future.result();
}

// Live processes whose command line mentions `text`.
QList<QStringList> processesMentioning(const QString &text) {
    QList<QStringList> found;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (entry.toLongLong() <= 0)
            continue;
        const QByteArray stat = readText(QStringLiteral("/proc/%1/stat").arg(entry));
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0 || stat.mid(close + 2, 1) == "Z")
            continue;
        QByteArray cmdline = readText(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!cmdline.contains(text.toUtf8()))
            continue;
        QStringList args;
        for (const QByteArray &piece : cmdline.split('\0'))
            args << QString::fromUtf8(piece);
        found << args;
    }
    return found;
}

qsizetype supervisorCount(const QString &home) {
    const QList<QStringList> processes = processesMentioning(home);
    return std::count_if(processes.begin(), processes.end(), [](const QStringList &args) {
        return args.value(3) == QLatin1String("quindle-service");
    });
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

    // A home folder whose path every quoting layer has to get right.
    void useHostileHome() {
        const QString home = inHome(QStringLiteral("we ird $x 'q\" %h \\ ;"));
        QDir().mkpath(home);
        setEnv("HOME", home);
        setEnv("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    }

    // A copy of the shipped scripts without `missing`.
    QString bundle(const QStringList &missing = {}) {
        const QString dir = inHome(QStringLiteral("bundle"));
        QDir().mkpath(dir);
        const QDir source(QStringLiteral(QUINDLE_SOURCE_DIR "/service"));
        for (const QString &name : source.entryList(QDir::Files))
            if (!missing.contains(name))
                QFile::copy(source.filePath(name), dir + QLatin1Char('/') + name);
        return dir;
    }

    std::shared_ptr<test::FakeServiceManager> fake = std::make_shared<test::FakeServiceManager>(
        inHome(QStringLiteral(".config/autostart/quindle-service.desktop")));
    Installer::ManagerSource fakeSource() {
        return [manager = fake] { return manager; };
    }
};

TEST_F(InstallerTest, DetachedServiceRunsWritesItsStatusAndStopsCompletely) {
    useHostileHome();
    setEnv("QUINDLE_SERVICE_MANAGER", QStringLiteral("detached"));
    Installer installer;
    ASSERT_TRUE(await(installer.install())) << installer.log().join('\n').toStdString();
    ASSERT_TRUE(test::waitUntil([] { return QFile::exists(paths::statusFile()); }, 10000));

    StatusModel model;
    await(model.refreshAsync());
    EXPECT_TRUE(model.serviceInstalled());
    EXPECT_TRUE(model.serviceLoaded());
    ASSERT_TRUE(model.status().has_value()) << model.lastError().value_or("").toStdString();

    // The shim reaches the installed script with its arguments intact.
    QProcess shim;
    shim.setProcessChannelMode(QProcess::MergedChannels);
    shim.start(paths::shimFile(), {QStringLiteral("bogus"), QStringLiteral("a b")});
    ASSERT_TRUE(shim.waitForFinished(10000));
    EXPECT_EQ(shim.exitCode(), 2);
    EXPECT_TRUE(shim.readAll().contains("unknown sub-command \"bogus\""));

    EXPECT_EQ(await(model.stopService()).status, 0);
    EXPECT_FALSE(model.serviceLoaded());
    EXPECT_TRUE(test::waitUntil([&] { return processesMentioning(home()).isEmpty(); }, 5000));
    // Asked to stop, not killed: the watch loop had its say.
    EXPECT_TRUE(readText(paths::serviceLog()).contains("Service stopped."));
}

TEST_F(InstallerTest, FallsBackQuietlyInstallsTwiceAndKeepsTheConfiguration) {
    test::FakeExecutables fakes;
    const QString asked = fakes.directory() + QStringLiteral("/asked");
    fakes.add(QStringLiteral("systemctl"),
              QStringLiteral("echo \"$*\" >>'%1'; echo 'Failed to connect to bus: No medium "
                             "found' >&2; exit 1")
                  .arg(asked)
                  .toUtf8());
    fakes.putFirstOnPath();
    setEnv("QUINDLE_SERVICE_MANAGER", QString());
    const QByteArray config = "NVMe=\"/mine\"\n# edited by hand\n";
    writeText(paths::configFile(), config);

    Installer installer;
    ASSERT_TRUE(await(installer.install())) << installer.log().join('\n').toStdString();
    ASSERT_TRUE(await(installer.install())) << installer.log().join('\n').toStdString();
    EXPECT_EQ(installer.log().filter(QStringLiteral("systemctl")), QStringList());
    EXPECT_TRUE(installer.log().contains(
        QStringLiteral("Autostart entry written to ") +
        platform::autostartEntryFile(platform::detachedAutostartFileName())));
    EXPECT_TRUE(installer.log().contains(
        QStringLiteral("Service loaded; watch loop will tick within 30s.")));
    EXPECT_FALSE(
        installer.log().contains(QStringLiteral("Copying quindle.conf → ") + paths::configFile()));
    EXPECT_EQ(readText(paths::configFile()), config);
    EXPECT_EQ(supervisorCount(home()), 1);
    const QStringList questions =
        QString::fromUtf8(readText(asked)).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(QSet<QString>(questions.begin(), questions.end()),
              QSet<QString>{QStringLiteral("--user show-environment")});

    EXPECT_EQ(userServiceManager()->unload().status, 0);
    EXPECT_TRUE(test::waitUntil([&] { return processesMentioning(home()).isEmpty(); }, 5000));
}

TEST_F(InstallerTest, StepsLogAndProgressOfACompleteInstall) {
    Installer installer(fakeSource(), bundle());
    QList<Installer::Phase> phases;
    QList<double> fractions;
    QObject::connect(&installer, &Installer::changed, [&] {
        if (phases.isEmpty() || phases.last() != installer.phase())
            phases << installer.phase();
        fractions << installer.fractionComplete();
    });
    ASSERT_TRUE(await(installer.install()));

    const QList<Installer::Phase> expected{{Step::Idle, {}},
                                           {Step::MigratingLegacy, {}},
                                           {Step::Copying, "quindle.sh"},
                                           {Step::Copying, "lib-common.sh"},
                                           {Step::Copying, "quindle.conf"},
                                           {Step::Copying, "2-prep-nvme.sh"},
                                           {Step::WritingConfig, {}},
                                           {Step::WritingCLI, {}},
                                           {Step::WritingService, {}},
                                           {Step::LoadingService, {}},
                                           {Step::Done, {}}};
    EXPECT_EQ(phases, expected);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    for (const double milestone : {0.1, 0.7, 0.85, 0.98, 1.0})
        EXPECT_TRUE(fractions.contains(milestone)) << milestone;
    EXPECT_TRUE(installer.log().contains(QStringLiteral("⚠ Optional bundled script missing: "
                                                        "0-preflight.sh")));
    EXPECT_EQ(installer.log().last(), QStringLiteral("✓ Install complete."));
    EXPECT_EQ(fake->installs, 1);
    EXPECT_EQ(fake->loads, 1);
    const QFile::Permissions executable = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    for (const QString &file : {paths::quindleDirectory() + "/lib-common.sh", paths::shimFile()})
        EXPECT_EQ(QFile::permissions(file) & executable, executable) << file.toStdString();
}

TEST_F(InstallerTest, MissingMainScriptOrFolderFailsWithTheBundleMessage) {
    for (const QString &scripts : {bundle({QStringLiteral("quindle.sh")}), QString()}) {
        Installer installer(fakeSource(), scripts);
        EXPECT_FALSE(await(installer.install()));
        EXPECT_EQ(installer.phase(),
                  (Installer::Phase{Step::Failed, Installer::bundleMissingScriptsMessage()}));
        EXPECT_EQ(installer.log().last(),
                  QStringLiteral("✗ Install failed: ") + Installer::bundleMissingScriptsMessage());
        QDir(inHome(QStringLiteral("bundle"))).removeRecursively();
    }
    EXPECT_EQ(fake->installs, 0);
    EXPECT_EQ(fake->loads, 0);
}

TEST_F(InstallerTest, FreshConfigurationIsTheShippedTemplateNamingTheDrive) {
    EXPECT_EQ(
        Installer::builtInConfigurationTemplate(),
        QString::fromUtf8(readText(QStringLiteral(QUINDLE_SOURCE_DIR "/service/quindle.conf"))));
    const QString drive = QStringLiteral("/media/u/a \"b\" $c `d` \\e 'f'");
    writeText(
        paths::configFile(),
        Installer::defaultConfiguration(Installer::builtInConfigurationTemplate(), drive).toUtf8());
    QProcess bash;
    bash.start(QStringLiteral("/bin/bash"),
               {QStringLiteral("-c"), QStringLiteral("source \"$1\"; printf %s \"$NVMe\""),
                QStringLiteral("bash"), paths::configFile()});
    ASSERT_TRUE(bash.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(bash.readAll()), drive);
}

TEST_F(InstallerTest, UpgradeReplacesOnlyChangedScriptsAndReloadsOnce) {
    const QString scripts = bundle();
    Installer installer(fakeSource(), scripts);
    EXPECT_EQ(await(installer.upgradeScriptsIfNeeded()), QStringList()); // nothing installed
    ASSERT_TRUE(await(installer.install()));
    EXPECT_EQ(await(installer.upgradeScriptsIfNeeded()), QStringList());
    EXPECT_EQ(fake->loads, 1);

    writeText(scripts + QStringLiteral("/quindle.sh"),
              readText(scripts + QStringLiteral("/quindle.sh")) + "\n# newer\n");
    writeText(scripts + QStringLiteral("/quindle.conf"), "# a new template is not an upgrade\n");
    const QStringList replaced = await(installer.upgradeScriptsIfNeeded());
    EXPECT_EQ(replaced, QStringList({"quindle.sh"}));
    EXPECT_EQ(fake->loads, 2);
    EXPECT_EQ(readText(paths::serviceScript()), readText(scripts + QStringLiteral("/quindle.sh")));
    EXPECT_TRUE(QFile::permissions(paths::serviceScript()) & QFile::ExeOwner);
    EXPECT_EQ(Installer::upgradedLogLine(replaced),
              QStringLiteral("Quindle: upgraded 1 script(s) on launch: quindle.sh"));
}
