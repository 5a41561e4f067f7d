#include "core/Installer.h"
#include "platform/AutostartEntry.h"
#include "platform/DetachedService.h"
#include "platform/ServiceLocations.h"
#include "platform/SystemdUserService.h"
#include "platform/UserService.h"
#include "support/FakeExecutables.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

using namespace quindle;
using namespace quindle::platform;
using test::readText;
using test::writeText;

namespace {

ServiceDefinition definitionIn(const QString &home) {
    return {"/bin/bash",
            {home + "/.quindle/quindle.sh", "watch"},
            home + "/.quindle/quindle.launchd.log",
            serviceSearchPath(),
            30};
}

// What systemd's own parser says of a unit file (nothing: it reads it without complaint), or
// nothing at all where it cannot be run.
std::optional<QString> systemdComplaints(const QString &unitFile) {
    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    if (analyze.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(analyze, {"verify", unitFile});
    if (!process.waitForFinished(20000))
        return std::nullopt;
    return QString::fromUtf8(process.readAll()) +
           (process.exitCode() == 0 ? QString()
                                    : QStringLiteral("(exit %1)").arg(process.exitCode()));
}

// Records its calls beside itself, fails to enable while calls.fail exists, hangs on is-active.
const QByteArray kSystemctl = R"(calls=$(dirname "$0")/calls
printf '%s\n' "$*" >>"$calls"
case "$*" in
    *'enable --now'*) [[ -e $calls.fail ]] && { echo 'Failed to enable unit: boom'; exit 1; } ;;
    *is-active*) exec sleep 30 ;;
esac
exit 0)";

} // namespace

class UnitFile : public test::TempHomeTest {};

TEST_F(UnitFile, TextForAPlainHomeAndEscapingThatSystemdAcceptsForAHostileOne) {
    EXPECT_EQ(*serviceUnitText(definitionIn("/home/ann")),
              "[Unit]\n"
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
              "WantedBy=default.target\n");

    const QString text = *serviceUnitText(definitionIn(inHome("a b $x \"q\" 100%\\z;")));
    EXPECT_TRUE(text.contains("ExecStart=\"/bin/bash\" \"" +
                              inHome("a b $$x \\\"q\\\" 100%%\\\\z;") +
                              "/.quindle/quindle.sh\" \"watch\"\n"))
        << text.toStdString();
    // The log path takes specifiers but no quoting.
    EXPECT_TRUE(text.contains("StandardOutput=append:" + inHome("a b $x \"q\" 100%%\\z;") +
                              "/.quindle/quindle.launchd.log\n"));
    EXPECT_EQ(systemdExecWord("a\nb\tc\x01"), "\"a\\nb\\tc\\x01\"");
    EXPECT_FALSE(serviceUnitText(definitionIn("/home/a\nb")));

    const QString plain = inHome("plain.service"), hostile = inHome("quindle-service.service");
    writeText(plain, serviceUnitText(definitionIn("/home/ann"))->toUtf8());
    writeText(hostile, text.toUtf8());
    const std::optional<QString> baseline = systemdComplaints(plain);
    if (!baseline || !baseline->isEmpty())
        GTEST_SKIP() << "systemd-analyze verify is not usable here";
    EXPECT_EQ(systemdComplaints(hostile), QString());
}

// GLib's launcher reads the entry the way a desktop session does at login.
TEST_F(UnitFile, AutostartExecSurvivesADesktopLauncher) {
    const QString gio = QStandardPaths::findExecutable("gio");
    if (gio.isEmpty())
        GTEST_SKIP() << "gio is not installed";
    test::FakeExecutables fakes;
    const QString out = inHome("argv");
    const QString recorder = fakes.add(
        "record args",
        QStringLiteral("printf '%s\\0' \"$@\" >'%1.tmp' && mv '%1.tmp' '%1'").arg(out).toUtf8());
    const QStringList args({"a b", "\"q\" 'r'", "$HOME ${x}", "back\\slash\\\\", "100% %f %%",
                            "new\nline\ttab", "`id`;|&<>", "", "~ # * ? ()", "=plain,ok"});
    ASSERT_EQ(writeAutostartEntry("probe.desktop",
                                  {"Probe", " leading space", QStringList{recorder} + args}),
              std::nullopt);
    QProcess::execute(gio, {"launch", autostartEntryFile("probe.desktop")});
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo::exists(out); }, 10000));
    EXPECT_EQ(QString::fromUtf8(readText(out).chopped(1)).split(QChar(0)), args);
    // Other launchers expand what GLib leaves alone inside quotes.
    EXPECT_EQ(desktopExecArgument("$x`y`"), "\"\\$x\\`y\\`\"");
}

// --- the systemd user manager, against a stand-in systemctl --------------------------------

class SystemdManager : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        setEnv("QUINDLE_SERVICE_MANAGER", "systemd");
        fakes.add("systemctl", kSystemctl);
        fakes.putFirstOnPath();
    }
    test::FakeExecutables fakes;
    const QString calls = fakes.directory() + "/calls";
};

TEST_F(SystemdManager, InstallStopsBeforeEnablingAndAFailedEnableFailsWithItsOutput) {
    writeText(calls + ".fail", "");
    Installer failing;
    EXPECT_FALSE(test::resultOf(failing.install()));
    const QString message = "systemctl could not load the service:\nFailed to enable unit: boom";
    EXPECT_EQ(failing.phase(), (Installer::Phase{Installer::Phase::Step::Failed, message}));
    EXPECT_EQ(failing.log().last(), "✗ Install failed: " + message);

    QFile::remove(calls + ".fail");
    QFile::remove(calls);
    writeText(autostartEntryFile(detachedAutostartFileName()), "[Desktop Entry]\n");
    Installer installer;
    ASSERT_TRUE(test::resultOf(installer.install())) << installer.log().join('\n').toStdString();
    EXPECT_EQ(QString::fromUtf8(readText(calls)),
              "--user stop quindle-service.service\n--user daemon-reload\n"
              "--user enable --now quindle-service.service\n");
    EXPECT_EQ(QString::fromUtf8(readText(serviceUnitFile())),
              *serviceUnitText(serviceDefinition()));
    // A start left behind by the detached fallback would run the service a second time.
    EXPECT_FALSE(QFileInfo::exists(autostartEntryFile(detachedAutostartFileName())));

    // Stopping lasts until the next login, as with the detached service: the unit stays enabled.
    QFile::remove(calls);
    EXPECT_EQ(userServiceManager()->unload().status, 0);
    EXPECT_EQ(QString::fromUtf8(readText(calls)), "--user stop quindle-service.service\n");
    EXPECT_TRUE(QFileInfo::exists(serviceUnitFile()));
}

TEST_F(SystemdManager, AHangingIsActiveIsNotLoadedAndNoAnswerMeansTheDetachedFallback) {
    EXPECT_FALSE(userServiceManager()->isLoaded()); // the query's deadline ends the wait

    setEnv("QUINDLE_SERVICE_MANAGER", QString());
    fakes.add("systemctl", "echo 'Failed to connect to bus: No medium found' >&2; exit 1");
    EXPECT_EQ(detectServiceManager(), ServiceManagerKind::Detached);
    fakes.add("systemctl", "exit 0");
    EXPECT_EQ(detectServiceManager(), ServiceManagerKind::SystemdUser);
}
