#include "platform/ChildProcess.h"
#include "platform/FolderAccess.h"
#include "platform/FolderUsers.h"
#include "platform/MountFacts.h"
#include "platform/PackageOwner.h"
#include "platform/PathExchange.h"
#include "platform/PrivilegedFiles.h"
#include "support/TempHome.h"
#include "support/Unprivileged.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace quindle::platform;
using namespace quindle::test;

namespace {

// A child that stays until the test ends it.
std::unique_ptr<ChildProcess> startChild(const QString &program, const QStringList &arguments,
                                         const QString &workingDirectory = {}) {
    ChildCommand command(program, arguments);
    command.workingDirectory = workingDirectory;
    command.channels = ChildCommand::Channels::Discarded;
    auto child = std::make_unique<ChildProcess>(command);
    EXPECT_TRUE(child->start());
    return child;
}

} // namespace

class FolderUse : public TempHomeTest {
protected:
    QString app(const QString &name) {
        const QString folder = QFileInfo(inHome(name)).absoluteFilePath();
        QDir().mkpath(folder + "/bin");
        return QFileInfo(folder).canonicalFilePath();
    }
    bool usedBy(const QString &folder, qint64 pid) {
        return waitUntil([&] { return folderUsers({folder}).value(folder).pid == pid; });
    }
};

TEST_F(FolderUse, IsSeenThroughExecutableWorkingFolderOpenScriptAndDeletedProgram) {
    const QString byExe = app("ByExe"), byCwd = app("ByCwd"), byScript = app("ByScript"),
                  deleted = app("Deleted"), idle = app("Idle");
    const QString sleep = QStandardPaths::findExecutable("sleep");
    ASSERT_TRUE(QFile::copy(sleep, byExe + "/bin/sleep"));
    ASSERT_TRUE(QFile::copy(sleep, deleted + "/bin/sleep"));
    // A command after the last one keeps the shell from handing its process over to it.
    writeText(byScript + "/run.sh", "sleep 60\nexit 0\n");

    auto exe = startChild(byExe + "/bin/sleep", {"60"});
    auto cwd = startChild(sleep, {"60"}, byCwd);
    auto script = startChild("/bin/sh", {byScript + "/run.sh"});
    auto gone = startChild(deleted + "/bin/sleep", {"60"});
    ASSERT_TRUE(usedBy(deleted, gone->pid()));
    ASSERT_TRUE(QFile::remove(deleted + "/bin/sleep"));

    EXPECT_TRUE(usedBy(byExe, exe->pid()));
    EXPECT_TRUE(usedBy(byCwd, cwd->pid()));
    EXPECT_TRUE(usedBy(byScript, script->pid()));
    EXPECT_TRUE(usedBy(deleted, gone->pid()));
    const auto users = folderUsers({byExe, idle});
    EXPECT_EQ(users.value(byExe).name, "sleep");
    EXPECT_FALSE(users.contains(idle));
}

class PackageDatabase : public TempHomeTest {};

TEST_F(PackageDatabase, OwnsExactPathsOnlyInOneQuery) {
    if (QStandardPaths::findExecutable("dpkg-query").isEmpty())
        GTEST_SKIP() << "dpkg is not installed";
    const QString admin = inHome("dpkg");
    writeText(admin + "/status",
              "Package: foo-app\nStatus: install ok installed\nVersion: 1\nArchitecture: all\n"
              "Maintainer: A <a@b>\nDescription: d\n\n");
    writeText(admin + "/info/foo-app.list", "/.\n/opt\n/opt/Foo [1] App\n/opt/Foo [1] App/bin\n");
    QDir().mkpath(admin + "/updates");
    setEnv("QUINDLE_DPKG_ADMINDIR", admin);

    const QHash<QString, QString> owners =
        packageOwners({"/opt/Foo [1] App", "/opt/Foo", "/opt/Other"});
    EXPECT_EQ(owners, (QHash<QString, QString>{{"/opt/Foo [1] App", "foo-app"}}));
    EXPECT_EQ(dpkgExactPattern("/a*b?c[d\\e"), "/a\\*b\\?c\\[d\\\\e");
    EXPECT_EQ(parseDpkgSearch("diversion by x from: /opt/A\na, b: /opt/A\n", {"/opt/A"}),
              (QHash<QString, QString>{{"/opt/A", "a, b"}}));
}

class PrivilegeBits : public TempHomeTest {};

TEST_F(PrivilegeBits, SetuidSetgidAndCapabilitiesAreFound) {
    const QString app = inHome("App");
    writeText(app + "/bin/plain", "x");
    EXPECT_FALSE(privilegedProgram(app));

    writeText(app + "/bin/helper", "x");
    ASSERT_EQ(::chmod(QFile::encodeName(app + "/bin/helper").constData(), 04755), 0);
    EXPECT_EQ(privilegedProgram(app), app + "/bin/helper");
    ::chmod(QFile::encodeName(app + "/bin/helper").constData(), 02755);
    EXPECT_EQ(privilegedProgram(app), app + "/bin/helper");
    ::chmod(QFile::encodeName(app + "/bin/helper").constData(), 0755);
    EXPECT_FALSE(privilegedProgram(app));

    const QString setcap =
        QStandardPaths::findExecutable("setcap", {"/usr/sbin", "/sbin", "/usr/bin"});
    if (!isRoot() || setcap.isEmpty())
        GTEST_SKIP() << "setting file capabilities needs root and setcap";
    writeText(app + "/lib/net", "x");
    ASSERT_EQ(QProcess::execute(setcap, {"cap_net_raw+ep", app + "/lib/net"}), 0);
    EXPECT_EQ(privilegedProgram(app), app + "/lib/net");
}

class Exchange : public TempHomeTest {};

TEST_F(Exchange, SwapsAFolderWithALinkToItsCopy) {
    const QString folder = inHome("App"), aside = folder + ".quindle-old";
    writeText(folder + "/file", "original");
    ASSERT_TRUE(QFile::link(inHome("copy"), aside));
    ASSERT_FALSE(exchangePaths(folder, aside));
    EXPECT_TRUE(QFileInfo(folder).isSymLink());
    EXPECT_EQ(QFileInfo(folder).symLinkTarget(), inHome("copy"));
    EXPECT_EQ(readText(aside + "/file"), "original");
    EXPECT_TRUE(exchangePaths(folder, inHome("missing")));
    EXPECT_TRUE(QFileInfo(folder).isSymLink()) << "a failed swap leaves both in place";
}

class MoveAccess : public TempHomeTest {};

TEST_F(MoveAccess, NamesWhatKeepsAnOrdinaryUserFromMovingTheFolder) {
    if (!isRoot())
        GTEST_SKIP() << "changing owners needs root";
    const QByteArray base = QFile::encodeName(home());
    ASSERT_EQ(::chmod(base.constData(), 0755), 0);
    const auto own = [](const QString &path) {
        return ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
    };
    const QString rootOwned = inHome("opt"), mine = inHome("apps");
    writeText(rootOwned + "/A/f", "x");
    writeText(mine + "/B/f", "x");
    writeText(mine + "/C/secret", "x");
    writeText(mine + "/D/locked/f", "x");
    for (const QString &path :
         {mine, mine + "/B", mine + "/B/f", mine + "/C", mine + "/D", mine + "/D/locked/f"})
        ASSERT_TRUE(own(path));
    ::chmod(QFile::encodeName(mine + "/C/secret").constData(), 0600); // root's, unreadable

    const auto kindFor = [](const QString &folder, const QString &expectedPath) {
        return runUnprivileged([&] {
            const std::optional<AccessProblem> problem = moveAccessProblem(folder);
            if (!problem)
                return 0;
            if (problem->path != expectedPath)
                return 9;
            return 1 + static_cast<int>(problem->kind);
        });
    };
    EXPECT_EQ(kindFor(rootOwned + "/A", rootOwned), 1);
    EXPECT_EQ(kindFor(mine + "/B", {}), 0);
    EXPECT_EQ(kindFor(mine + "/C", mine + "/C/secret"), 2);
    EXPECT_EQ(kindFor(mine + "/D", mine + "/D/locked"), 3);
}

TEST(MountTableEntries, TheDeepestMountHoldingThePathWins) {
    const QByteArray table = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "40 22 0:5 / /media/u/NVMe rw,noexec - vfat /dev/sdb1 rw\n"
                             "41 22 0:6 / /media/u/NVMe\\040Two rw - exfat /dev/sdc1 rw\n";
    EXPECT_EQ(mountEntryFor(table, "/media/u/NVMe/Apps")->fileSystemType, "vfat");
    EXPECT_EQ(mountEntryFor(table, "/media/u/NVMe Two/x")->fileSystemType, "exfat");
    EXPECT_EQ(mountEntryFor(table, "/media/u/NVMeX")->fileSystemType, "ext4");
    EXPECT_TRUE(lacksUnixPermissions("vfat"));
    EXPECT_FALSE(lacksUnixPermissions("ext4"));
    const auto here = mountFactsOf(QDir::tempPath());
    ASSERT_TRUE(here);
    EXPECT_FALSE(here->fileSystemType.isEmpty());
}
