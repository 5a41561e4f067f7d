// The updater script as Quindle writes it: every value quoted, created once, and it runs.
#include "support/CommandRun.h"
#include "support/TempHome.h"

#include "updates/UpdaterScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace quindle;

namespace {

// A build whose version file says `name`, with the real exchange tool.
void writeInstalledBuild(const QString &folder, const QByteArray &name) {
    QDir().mkpath(folder + "/bin");
    QFile::copy(QUINDLE_SWAP, folder + "/bin/quindle-swap");
    test::writeText(folder + "/bin/quindle", "#!/bin/bash\nexit 0\n");
    QFile::setPermissions(folder + "/bin/quindle", QFile::ReadOwner | QFile::ExeOwner);
    test::writeText(folder + "/VERSION", name);
}

} // namespace

class UpdaterScriptTest : public test::TempHomeTest {};

TEST_F(UpdaterScriptTest, EveryValueReachesBashAsTyped) {
    for (const QString &value : {QString("plain"), QString("it's"), QString("$HOME `id` $(id)"),
                                 QString("two  spaces\tand\na line"), QString("'"), QString()}) {
        const test::CommandRun echoed =
            test::runCommand("bash", {"-c", "printf %s " + shellQuoted(value)});
        EXPECT_EQ(echoed.out, value) << value.toStdString();
    }
}

TEST_F(UpdaterScriptTest, IsCreatedOnceForItsOwnerAndUpdatesAnOddlyNamedHome) {
    const QString odd = inHome("it's $HOME `x`/opt");
    UpdaterValues values;
    values.log = inHome("updater.log");
    QProcess exited;
    exited.start("true");
    ASSERT_TRUE(exited.waitForFinished());
    values.parent = exited.processId();
    values.archive = inHome("update.tar.gz");
    values.staging = odd + "/.quindle-update-1";
    values.build = values.staging + "/quindle-2.1.0";
    values.install = odd + "/Quindle";
    values.previous = odd + "/.quindle-previous-1";
    values.parentChecks = 5;
    values.startWaitSeconds = 1;
    writeInstalledBuild(values.install, "old");
    writeInstalledBuild(values.build, "new");
    test::writeText(values.archive, "");

    const QString script = inHome("updater-1.sh");
    ASSERT_EQ(writeUpdaterScript(script, values), std::nullopt);
    const QFile::Permissions mode = QFileInfo(script).permissions();
    EXPECT_TRUE(mode.testFlag(QFile::ExeOwner));
    EXPECT_FALSE(mode & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                         QFile::WriteOther | QFile::ExeOther));
    EXPECT_EQ(writeUpdaterScript(script, values), QString("File exists"));

    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        headless.remove(name);
    const test::CommandRun ran = test::runCommand("bash", {script}, headless);
    EXPECT_EQ(ran.status, 0) << test::readText(values.log).toStdString();
    EXPECT_EQ(test::readText(values.install + "/VERSION"), "new");
    EXPECT_FALSE(QFileInfo::exists(values.staging));
    EXPECT_FALSE(QFileInfo::exists(values.archive));
    EXPECT_TRUE(test::readText(values.log).contains("Updater finished, not relaunched"));
}
