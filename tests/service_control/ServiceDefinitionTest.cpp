#include "core/Installer.h"
#include "platform/ServiceLocations.h"
#include "platform/UserService.h"
#include "support/FakeExecutables.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

using namespace quindle;
using namespace quindle::platform;
using test::readText;
using test::writeText;

namespace {

ServiceDefinition definitionIn(const QString &home) {
    return {QStringLiteral("/bin/bash"),
            {home + QStringLiteral("/.quindle/quindle.sh"), QStringLiteral("watch")},
            home + QStringLiteral("/.quindle/quindle.launchd.log"),
            serviceSearchPath(),
            30};
}

// systemd's own parser: silent on a unit it reads without complaint.
std::optional<QString> systemdComplaints(const QString &unitFile) {
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(analyze, {QStringLiteral("verify"), unitFile});
    if (!process.waitForFinished(20000))
        return std::nullopt;
    return QString::fromUtf8(process.readAll()) +
           (process.exitCode() == 0 ? QString()
                                    : QStringLiteral("(exit %1)").arg(process.exitCode()));
}

} // namespace

class UnitFile : public test::TempHomeTest {};

TEST_F(UnitFile, PlainHomeGivesTheExpectedText) {
    EXPECT_EQ(*serviceUnitText(definitionIn(QStringLiteral("/home/ann"))),
              QStringLiteral("[Unit]\n"
                             "Description=Quindle background service\n"
                             "\n"
                             "[Service]\n"
                             "Type=simple\n"
                             "ExecStart=\"/bin/bash\" \"/home/ann/.quindle/quindle.sh\" \"watch\"\n"
                             "Environment=\"PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin\"\n"
                             "Restart=always\n"
                             "RestartSec=30\n"
                             "StandardOutput=append:/home/ann/.quindle/quindle.launchd.log\n"
                             "StandardError=append:/home/ann/.quindle/quindle.launchd.log\n"
                             "\n"
                             "[Install]\n"
                             "WantedBy=default.target\n"));
}

TEST_F(UnitFile, HostileHomeIsEscapedForEachSettingAndSystemdAcceptsIt) {
    const QString home = inHome(QStringLiteral("a b $x \"q\" 100%\\z;"));
    const QString text = *serviceUnitText(definitionIn(home));
    const QString escapedHome = inHome(QStringLiteral("a b $$x \\\"q\\\" 100%%\\\\z;"));
    EXPECT_TRUE(text.contains(QStringLiteral("ExecStart=\"/bin/bash\" \"") + escapedHome +
                              QStringLiteral("/.quindle/quindle.sh\" \"watch\"\n")))
        << text.toStdString();
    // The log path takes specifiers but no quoting.
    EXPECT_TRUE(text.contains(QStringLiteral("StandardOutput=append:") +
                              inHome(QStringLiteral("a b $x \"q\" 100%%\\z;")) +
                              QStringLiteral("/.quindle/quindle.launchd.log\n")));
    EXPECT_EQ(systemdExecWord(QStringLiteral("a\nb\tc\x01")), QStringLiteral("\"a\\nb\\tc\\x01\""));
    EXPECT_FALSE(serviceUnitText(definitionIn(QStringLiteral("/home/a\nb"))));

    const QString plain = inHome(QStringLiteral("plain.service"));
    writeText(plain, serviceUnitText(definitionIn(QStringLiteral("/home/ann")))->toUtf8());
    const std::optional<QString> baseline = systemdComplaints(plain);
    if (!baseline || !baseline->isEmpty())
        GTEST_SKIP() << "systemd-analyze verify is not usable here";
    const QString hostile = inHome(QStringLiteral("quindle-service.service"));
    writeText(hostile, text.toUtf8());
    EXPECT_EQ(systemdComplaints(hostile), QString());
}

// GLib's launcher reads the entry the way a desktop session does at login.
TEST_F(UnitFile, AutostartExecSurvivesADesktopLauncher) {
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        GTEST_SKIP() << "gio is not installed";
    test::FakeExecutables fakes;
    const QString out = inHome(QStringLiteral("argv"));
    const QString recorder = fakes.add(
        QStringLiteral("record args"),
        QStringLiteral("printf '%s\\0' \"$@\" >'%1.tmp' && mv '%1.tmp' '%1'").arg(out).toUtf8());
    const QStringList args{QStringLiteral("a b"),        QStringLiteral("\"q\" 'r'"),
                           QStringLiteral("$HOME ${x}"), QStringLiteral("back\\slash\\\\"),
                           QStringLiteral("100% %f %%"), QStringLiteral("new\nline\ttab"),
                           QStringLiteral("`id`;|&<>"),  QStringLiteral(""),
                           QStringLiteral("~ # * ? ()"), QStringLiteral("=plain,ok")};
    ASSERT_EQ(writeAutostartEntry(QStringLiteral("probe.desktop"),
                                  {QStringLiteral("Probe"), QStringLiteral(" leading space"),
                                   QStringList{recorder} + args}),
              std::nullopt);
    QProcess::execute(gio, {QStringLiteral("launch"), autostartEntryFile("probe.desktop")});
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo::exists(out); }, 10000));
    QByteArray recorded = readText(out);
    recorded.chop(1);
    QStringList received;
    for (const QByteArray &piece : recorded.split('\0'))
        received << QString::fromUtf8(piece);
    EXPECT_EQ(received, args);
    // Other launchers expand what GLib leaves alone inside quotes.
    EXPECT_EQ(desktopExecArgument(QStringLiteral("$x`y`")), QStringLiteral("\"\\$x\\`y\\`\""));
}

// --- the systemd user manager, against a stand-in systemctl --------------------------------

class SystemdManager : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        setEnv("QUINDLE_SERVICE_MANAGER", QStringLiteral("systemd"));
        calls = fakes.directory() + QStringLiteral("/calls");
        fakes.add(QStringLiteral("systemctl"),
                  QStringLiteral("printf '%s\\n' \"$*\" >>'%1'\n"
                                 "case \"$*\" in\n"
                                 "  *'enable --now'*) [[ -e '%1.fail' ]] && { echo 'Failed to "
                                 "enable unit: boom'; exit 1; } ;;\n"
                                 "  *is-active*) exec sleep 30 ;;\n"
                                 "esac\n"
                                 "exit 0")
                      .arg(calls)
                      .toUtf8());
        fakes.putFirstOnPath();
    }
    QStringList callLines() {
        return QString::fromUtf8(readText(calls)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool install(Installer &installer) {
        const QFuture<bool> done = installer.install();
        EXPECT_TRUE(test::waitUntil([&] { return done.isFinished(); }, 30000));
        return done.result();
    }
    test::FakeExecutables fakes;
    QString calls;
};

TEST_F(SystemdManager, InstallWritesTheUnitAndStopsBeforeEnabling) {
    writeText(autostartEntryFile(detachedAutostartFileName()), "[Desktop Entry]\n");
    Installer installer;
    ASSERT_TRUE(install(installer)) << installer.log().join('\n').toStdString();
    EXPECT_EQ(callLines(),
              QStringList({"--user disable --now quindle-service.service", "--user daemon-reload",
                           "--user enable --now quindle-service.service"}));
    EXPECT_EQ(QString::fromUtf8(readText(serviceUnitFile())),
              *serviceUnitText(serviceDefinition()));
    EXPECT_TRUE(
        installer.log().contains(QStringLiteral("Service unit written to ") + serviceUnitFile()));
    EXPECT_TRUE(installer.log().contains(
        QStringLiteral("Service unit loaded; watch loop will tick within 30s.")));
    // A start left behind by the detached fallback would run the service a second time.
    EXPECT_FALSE(QFileInfo::exists(autostartEntryFile(detachedAutostartFileName())));
}

TEST_F(SystemdManager, FailedEnableFailsTheInstallWithItsOutput) {
    writeText(calls + QStringLiteral(".fail"), "");
    Installer installer;
    EXPECT_FALSE(install(installer));
    const QString message =
        QStringLiteral("systemctl could not load the service:\nFailed to enable unit: boom");
    EXPECT_EQ(installer.phase(), (Installer::Phase{Installer::Phase::Step::Failed, message}));
    EXPECT_EQ(installer.log().last(), QStringLiteral("✗ Install failed: ") + message);
}

TEST_F(SystemdManager, AnIsActiveThatHangsCountsAsNotLoaded) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(userServiceManager()->isLoaded());
    EXPECT_LT(clock.elapsed(), 9000);
}

TEST_F(SystemdManager, NoAnswerFromSystemctlMeansTheDetachedFallback) {
    setEnv("QUINDLE_SERVICE_MANAGER", QString());
    fakes.add(QStringLiteral("systemctl"),
              "echo 'Failed to connect to bus: No medium found' >&2; exit 1");
    EXPECT_EQ(detectServiceManager(), ServiceManagerKind::Detached);
    fakes.add(QStringLiteral("systemctl"), "exit 0");
    EXPECT_EQ(detectServiceManager(), ServiceManagerKind::SystemdUser);
}
