#include "apps/AppDiscovery.h"
#include "platform/ChildProcess.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <memory>

using namespace quindle;
using namespace quindle::test;

namespace {

void writeProgram(const QString &path) {
    writeText(path, "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
}

void setAccessTime(const QString &path, const char *when) {
    ASSERT_EQ(QProcess::execute("touch", {"-a", "-d", when, path}), 0);
}

} // namespace

class Discovery : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        root = inHome("Apps Root");
        drive = inHome("drive");
        setEnv("XDG_DATA_DIRS", inHome("no-system-data"));
        host.packageOwners = [this](const QStringList &paths) {
            QHash<QString, QString> owners;
            for (const QString &path : paths)
                if (path.endsWith("/Packaged"))
                    owners.insert(path, "packaged-app");
            asked << paths;
            return owners;
        };
        host.favourites = [] { return QSet<QString>{"org.x.Editor"}; };
    }

    QString launcher(const QString &id, const QByteArray &body) {
        const QString path = inHome(QStringLiteral(".local/share/applications/") + id);
        writeText(path, "[Desktop Entry]\nType=Application\n" + body);
        return path;
    }

    AppScan scan() { return discoverApps({{root}, drive + "/Apps", {}, std::nullopt}, host); }

    static const AppEntry *named(const AppScan &scan, const QString &folder) {
        for (const AppEntry &entry : scan.entries)
            if (QFileInfo(entry.path).fileName() == folder)
                return &entry;
        return nullptr;
    }

    QString root, drive;
    platform::AppHost host;
    QList<QStringList> asked;
};

TEST_F(Discovery, ListsFoldersAndMovedLinksOnly) {
    for (const char *name : {"Plain", ".hidden", "Half.restoring", "Old.quindle-old"})
        QDir().mkpath(root + u'/' + QLatin1String(name));
    writeText(root + "/notes.txt", "not an app");
    QDir().mkpath(drive + "/Apps/Moved");
    QDir().mkpath(inHome("elsewhere"));
    ASSERT_TRUE(QFile::link(drive + "/Apps/Moved", root + "/Moved"));
    ASSERT_TRUE(QFile::link(inHome("elsewhere"), root + "/Link"));
    ASSERT_TRUE(QFile::link(drive + "/Apps/Unplugged", root + "/Unplugged"));

    const AppScan found = scan();
    QStringList names;
    for (const AppEntry &entry : found.entries)
        names << entry.displayName +
                     (entry.isMovedSymlink ? QStringLiteral(" (moved)") : QString());
    names.sort();
    EXPECT_EQ(names, QStringList({"Moved (moved)", "Plain", "Unplugged (moved)"}));
    EXPECT_EQ(named(found, "Plain")->id, root + "/Plain");
    ASSERT_EQ(asked.size(), 1) << "the package manager is asked once";
    EXPECT_EQ(asked.first(), QStringList({root + "/Plain"}));
}

TEST_F(Discovery, TakesIdentityAndLastUseFromTheLauncher) {
    const QString editor = root + "/Editor";
    writeProgram(editor + "/bin/editor");
    writeProgram(editor + "/bin/other");
    launcher("aaa-helper.desktop",
             "Name=Helper\nNoDisplay=true\nExec=\"" + editor.toUtf8() + "/bin/editor\" --helper\n");
    launcher("org.x.Editor.desktop",
             "Name=Text Editor\nExec=env LANG=C \"" + editor.toUtf8() + "/bin/editor\" %F\n");
    setAccessTime(editor + "/bin/editor", "2026-01-05 10:00:00");
    setAccessTime(editor + "/bin/other", "2026-02-01 10:00:00");

    const QString plain = root + "/Plain";
    writeProgram(plain + "/a/run");
    writeProgram(plain + "/a/b/c/too-deep");
    writeText(plain + "/data.bin", QByteArray(8192, 'x'));
    setAccessTime(plain + "/a/run", "2025-06-01 08:00:00");
    setAccessTime(plain + "/a/b/c/too-deep", "2026-03-01 08:00:00");
    QDir().mkpath(root + "/Packaged");

    AppScan found = scan();
    const AppEntry *e = named(found, "Editor");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->bundleID, "org.x.Editor");
    EXPECT_EQ(e->id, "org.x.Editor");
    EXPECT_EQ(e->displayName, "Text Editor");
    EXPECT_EQ(e->lastUsedAt, QDateTime::fromString("2026-01-05T10:00:00", Qt::ISODate).toUTC())
        << "the launcher's program counts, not the newest file";
    EXPECT_TRUE(found.facts.favouriteIDs.contains(*e->bundleID));

    const AppEntry *p = named(found, "Plain");
    EXPECT_EQ(p->lastUsedAt, QDateTime::fromString("2025-06-01T08:00:00", Qt::ISODate).toUTC());
    EXPECT_GE(p->sizeBytes, 8192);
    EXPECT_EQ(named(found, "Packaged")->packageOwner, "packaged-app");
    EXPECT_EQ(found.entries.first().displayName, "Packaged") << "never used comes first";

    host.mountFacts = [](const QString &) {
        return std::optional<platform::MountFacts>(platform::MountFacts{"/", "ext4", false, true});
    };
    found = scan();
    EXPECT_FALSE(named(found, "Plain")->lastUsedAt) << "a noatime mount keeps no use";
}

TEST_F(Discovery, SeesRunningAppsUnitsAndItsOwnFolder) {
    const QString busy = root + "/Busy", started = root + "/Started";
    QDir().mkpath(busy);
    writeProgram(started + "/bin/daemon");
    writeText(inHome(".config/systemd/user/daemon.service"),
              "[Service]\nExecStart=\"" + started.toUtf8() + "/bin/daemon\" --serve\n");
    platform::ChildCommand command("sleep", {"60"});
    command.workingDirectory = busy;
    platform::ChildProcess child(command);
    ASSERT_TRUE(child.start());
    ASSERT_TRUE(waitUntil([&] { return named(scan(), "Busy")->isRunning; }));

    const AppScan found = discoverApps({{root}, {}, {}, started}, host);
    EXPECT_EQ(named(found, "Busy")->runningPid, child.pid());
    EXPECT_EQ(found.facts.startupFiles.value(started), "daemon.service");
    EXPECT_TRUE(named(found, "Started")->isOwnInstall);
    EXPECT_EQ(evaluate(*named(found, "Busy"), found.facts, QDateTime::currentDateTime()).message,
              "Currently running. Quit Busy and refresh, then try again.");
}
