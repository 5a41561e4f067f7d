#include "platform/DesktopEntries.h"
#include "platform/Favourites.h"
#include "platform/StartupTargets.h"
#include "support/TempHome.h"

#include <QProcess>
#include <QStandardPaths>

using namespace quindle::platform;
using quindle::test::TempHomeTest;
using quindle::test::writeText;

TEST(ExecValues, AreSplitAsTheLauncherFormatQuotesThem) {
    const struct {
        const char *exec;
        QStringList words;
    } cases[] = {
        {R"(/opt/App/app %U)", {"/opt/App/app"}},
        {R"("/opt/My App/run" --x=%f "a \"q\" b" 100%%)",
         {"/opt/My App/run", "--x=", "a \"q\" b", "100%"}},
        {R"(  sh   -c  "echo \$HOME \\ done"  )", {"sh", "-c", "echo $HOME \\ done"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(splitExec(QString::fromUtf8(c.exec)), c.words) << c.exec;
}

TEST(ExecValues, NameTheProgramPastEnvAndAssignments) {
    EXPECT_EQ(execProgram("env -u X LANG=C FOO=1 /opt/A/bin/a --go"), "/opt/A/bin/a");
    EXPECT_EQ(execProgram("\"/opt/With Space/a=b\" x"), "/opt/With Space/a=b");
    EXPECT_EQ(execProgram("%U"), QString());
}

TEST(DesktopEntryFiles, TakeTheClosestLocaleAndOnlyTheMainGroup) {
    const QByteArray text = "# comment\n[Desktop Entry]\nType=Application\nName=Editor\n"
                            "Name[de]=Bearbeiter\nName[de_CH]=Editor CH\nExec=/opt/E/e\n"
                            "NoDisplay=true\nPath=/opt/E\n[Desktop Action New]\nName=New\n"
                            "Exec=/elsewhere\n";
    const auto entry = parseDesktopEntry(text, "de_AT.UTF-8");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Bearbeiter");
    EXPECT_EQ(parseDesktopEntry(text, "de_CH.UTF-8")->name, "Editor CH");
    EXPECT_EQ(parseDesktopEntry(text, "C")->name, "Editor");
    EXPECT_EQ(entry->exec, "/opt/E/e");
    EXPECT_EQ(entry->workingPath, "/opt/E");
    EXPECT_TRUE(entry->noDisplay);
    EXPECT_FALSE(parseDesktopEntry("[Other]\nName=x\n", QString()));
}

class DesktopEntryFolders : public TempHomeTest {};

TEST_F(DesktopEntryFolders, UserEntriesComeFirstAndHiddenOnesDeleteTheID) {
    const QString system = inHome("system-data");
    setEnv("XDG_DATA_DIRS", system);
    const QString user = inHome(".local/share/applications");
    writeText(system + "/applications/gone.desktop",
              "[Desktop Entry]\nType=Application\nName=Gone\nExec=/opt/Gone/gone\n");
    writeText(user + "/gone.desktop", "[Desktop Entry]\nHidden=true\n");
    writeText(system + "/applications/kept.desktop",
              "[Desktop Entry]\nType=Application\nName=System\nExec=/opt/K/k\n");
    writeText(user + "/kept.desktop",
              "[Desktop Entry]\nType=Application\nName=Mine\nExec=/opt/K/k\n");
    writeText(user + "/vendor/tool.desktop",
              "[Desktop Entry]\nType=Application\nName=Tool\nExec=tool\n");

    if (const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
        !validate.isEmpty()) {
        QProcess check;
        check.start(validate, {user + "/kept.desktop", user + "/vendor/tool.desktop"});
        ASSERT_TRUE(check.waitForFinished());
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
    }

    QStringList seen;
    for (const DesktopEntry &entry : loadDesktopEntries())
        seen << entry.fileID + u'=' + entry.name;
    seen.sort();
    EXPECT_EQ(seen, QStringList({"kept.desktop=Mine", "vendor-tool.desktop=Tool"}));
}

TEST(FavouriteLists, ReadGVariantQuotingAndPlasmaLaunchers) {
    EXPECT_EQ(parseGVariantStrings(R"(['a.desktop', "it's.desktop", 'b\'c'])"),
              QStringList({"a.desktop", "it's.desktop", "b'c"}));
    EXPECT_TRUE(parseGVariantStrings("@as []").isEmpty());
    EXPECT_EQ(plasmaLaunchers("[Containments][2][Applets][5][Configuration][General]\n"
                              "launchers=applications:org.kde.dolphin.desktop,preferred://browser,"
                              "file:///home/u/.local/share/applications/mine.desktop\n"),
              QStringList({"org.kde.dolphin.desktop", "mine.desktop"}));
}

class Favourites : public TempHomeTest {};

TEST_F(Favourites, ComeFromTheRealGsettingsAndThePanelFile) {
    const QString compile = QStandardPaths::findExecutable("glib-compile-schemas");
    const QString gsettings = QStandardPaths::findExecutable("gsettings");
    if (compile.isEmpty() || gsettings.isEmpty())
        GTEST_SKIP() << "gsettings is not installed";
    const QString schemas = inHome("schemas");
    writeText(schemas + "/org.gnome.shell.gschema.xml",
              R"(<schemalist><schema id="org.gnome.shell" path="/org/gnome/shell/">
                 <key name="favorite-apps" type="as"><default>[]</default></key>
                 </schema></schemalist>)");
    ASSERT_EQ(QProcess::execute(compile, {schemas}), 0);
    setEnv("GSETTINGS_SCHEMA_DIR", schemas);
    setEnv("GSETTINGS_BACKEND", "keyfile");
    ASSERT_EQ(QProcess::execute(gsettings, {"set", "org.gnome.shell", "favorite-apps",
                                            R"(['org.x.Editor.desktop', "it's.desktop"])"}),
              0);
    writeText(inHome(".config/plasma-org.kde.plasma.desktop-appletsrc"),
              "launchers=applications:panel.app.desktop\n");
    EXPECT_EQ(favouriteAppIDs(), QSet<QString>({"org.x.Editor", "it's", "panel.app"}));
}

TEST(UnitFiles, NameTheirProgramsWithoutPrefixes) {
    EXPECT_EQ(unitExecPrograms("[Service]\nExecStartPre=-/opt/A/pre\n"
                               "ExecStart=@\"/opt/B C/run\" arg0 --x\n"
                               "Environment=Exec=/no\nExecStop=!!/opt/D/stop\n"),
              QStringList({"/opt/A/pre", "/opt/B C/run", "/opt/D/stop"}));
}

class StartupFiles : public TempHomeTest {};

TEST_F(StartupFiles, IncludeUserUnitsDropInsAndAutostartEntries) {
    writeText(inHome(".config/systemd/user/sync.service"),
              "[Service]\nExecStart=/apps/Sync/bin/syncd\n");
    writeText(inHome(".config/systemd/user/other.service.d/override.conf"),
              "[Service]\nExecStart=\nExecStart=+/apps/Other/run\n");
    writeText(inHome(".config/autostart/chat.desktop"),
              "[Desktop Entry]\nType=Application\nExec=env GDK_SCALE=2 /apps/Chat/chat\n");
    const QList<StartupTarget> targets = loadAutostartTargets();
    EXPECT_TRUE(targets.contains(StartupTarget{"/apps/Sync/bin/syncd", "sync.service"}));
    EXPECT_TRUE(targets.contains(StartupTarget{"/apps/Other/run", "override.conf"}));
    EXPECT_TRUE(targets.contains(StartupTarget{"/apps/Chat/chat", "chat.desktop"}));
}
