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
        QDir().mkpath(folder + QStringLiteral("/bin"));
        return QFileInfo(folder).canonicalFilePath();
    }
    bool usedBy(const QString &folder, qint64 pid) {
        return waitUntil([&] { return folderUsers({folder}).value(folder).pid == pid; });
    }
};

TEST_F(FolderUse, IsSeenThroughExecutableWorkingFolderOpenScriptAndDeletedProgram) {
    const QString byExe = app(QStringLiteral("ByExe")), byCwd = app(QStringLiteral("ByCwd")),
                  byScript = app(QStringLiteral("ByScript")),
                  deleted = app(QStringLiteral("Deleted")), idle = app(QStringLiteral("Idle"));
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    ASSERT_TRUE(QFile::copy(sleep, byExe + QStringLiteral("/bin/sleep")));
    ASSERT_TRUE(QFile::copy(sleep, deleted + QStringLiteral("/bin/sleep")));
    // A command after the last one keeps the shell from handing its process over to it.
    writeText(byScript + QStringLiteral("/run.sh"), "sleep 60\nexit 0\n");

    auto exe = startChild(byExe + QStringLiteral("/bin/sleep"), {QStringLiteral("60")});
    auto cwd = startChild(sleep, {QStringLiteral("60")}, byCwd);
    auto script = startChild(QStringLiteral("/bin/sh"), {byScript + QStringLiteral("/run.sh")});
    auto gone = startChild(deleted + QStringLiteral("/bin/sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(usedBy(deleted, gone->pid()));
    ASSERT_TRUE(QFile::remove(deleted + QStringLiteral("/bin/sleep")));

    EXPECT_TRUE(usedBy(byExe, exe->pid()));
    EXPECT_TRUE(usedBy(byCwd, cwd->pid()));
    EXPECT_TRUE(usedBy(byScript, script->pid()));
    EXPECT_TRUE(usedBy(deleted, gone->pid()));
    const auto users = folderUsers({byExe, idle});
    EXPECT_EQ(users.value(byExe).name, QStringLiteral("sleep"));
    EXPECT_FALSE(users.contains(idle));
}

class PackageDatabase : public TempHomeTest {};

TEST_F(PackageDatabase, OwnsExactPathsOnlyInOneQuery) {
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-query")).isEmpty())
        GTEST_SKIP() << "dpkg is not installed";
    const QString admin = inHome(QStringLiteral("dpkg"));
    writeText(admin + QStringLiteral("/status"),
              "Package: foo-app\nStatus: install ok installed\nVersion: 1\nArchitecture: all\n"
              "Maintainer: A <a@b>\nDescription: d\n\n");
    writeText(admin + QStringLiteral("/info/foo-app.list"),
              "/.\n/opt\n/opt/Foo [1] App\n/opt/Foo [1] App/bin\n");
    QDir().mkpath(admin + QStringLiteral("/updates"));
    setEnv("QUINDLE_DPKG_ADMINDIR", admin);

    const QHash<QString, QString> owners =
        packageOwners({QStringLiteral("/opt/Foo [1] App"), QStringLiteral("/opt/Foo"),
                       QStringLiteral("/opt/Other")});
    EXPECT_EQ(owners, (QHash<QString, QString>{{"/opt/Foo [1] App", "foo-app"}}));
    EXPECT_EQ(dpkgExactPattern(QStringLiteral("/a*b?c[d\\e")),
              QStringLiteral("/a\\*b\\?c\\[d\\\\e"));
    EXPECT_EQ(parseDpkgSearch(QStringLiteral("diversion by x from: /opt/A\na, b: /opt/A\n"),
                              {QStringLiteral("/opt/A")}),
              (QHash<QString, QString>{{"/opt/A", "a, b"}}));
}

class PrivilegeBits : public TempHomeTest {};

TEST_F(PrivilegeBits, SetuidSetgidAndCapabilitiesAreFound) {
    const QString app = inHome(QStringLiteral("App"));
    writeText(app + QStringLiteral("/bin/plain"), "x");
    EXPECT_FALSE(privilegedProgram(app));

    writeText(app + QStringLiteral("/bin/helper"), "x");
    ASSERT_EQ(::chmod(QFile::encodeName(app + QStringLiteral("/bin/helper")).constData(), 04755),
              0);
    EXPECT_EQ(privilegedProgram(app), app + QStringLiteral("/bin/helper"));
    ::chmod(QFile::encodeName(app + QStringLiteral("/bin/helper")).constData(), 02755);
    EXPECT_EQ(privilegedProgram(app), app + QStringLiteral("/bin/helper"));
    ::chmod(QFile::encodeName(app + QStringLiteral("/bin/helper")).constData(), 0755);
    EXPECT_FALSE(privilegedProgram(app));

    const QString setcap = QStandardPaths::findExecutable(QStringLiteral("setcap"),
                                                          {"/usr/sbin", "/sbin", "/usr/bin"});
    if (!isRoot() || setcap.isEmpty())
        GTEST_SKIP() << "setting file capabilities needs root and setcap";
    writeText(app + QStringLiteral("/lib/net"), "x");
    ASSERT_EQ(QProcess::execute(setcap, {"cap_net_raw+ep", app + QStringLiteral("/lib/net")}), 0);
    EXPECT_EQ(privilegedProgram(app), app + QStringLiteral("/lib/net"));
}

class Exchange : public TempHomeTest {};

TEST_F(Exchange, SwapsAFolderWithALinkToItsCopy) {
    const QString folder = inHome(QStringLiteral("App")), aside = folder + ".quindle-old";
    writeText(folder + QStringLiteral("/file"), "original");
    ASSERT_TRUE(QFile::link(inHome(QStringLiteral("copy")), aside));
    ASSERT_FALSE(exchangePaths(folder, aside));
    EXPECT_TRUE(QFileInfo(folder).isSymLink());
    EXPECT_EQ(QFileInfo(folder).symLinkTarget(), inHome(QStringLiteral("copy")));
    EXPECT_EQ(readText(aside + QStringLiteral("/file")), "original");
    EXPECT_TRUE(exchangePaths(folder, inHome(QStringLiteral("missing"))));
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
    const QString rootOwned = inHome(QStringLiteral("opt")), mine = inHome(QStringLiteral("apps"));
    writeText(rootOwned + QStringLiteral("/A/f"), "x");
    writeText(mine + QStringLiteral("/B/f"), "x");
    writeText(mine + QStringLiteral("/C/secret"), "x");
    writeText(mine + QStringLiteral("/D/locked/f"), "x");
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
