// `quindle settings` and `quindle rules` as a person runs them: the real binary in a home with
// the configuration the installer writes.
#include "core/StatePaths.h"
#include "support/CommandRun.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>

using namespace quindle;
using test::CommandRun;
using test::readText;

class SettingsCommand : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        QDir().mkpath(inHome("Videos"));
        test::writeText(paths::configFile(), readText(QUINDLE_SOURCE_DIR "/service/quindle.conf"));
    }
    // Runs from the home folder, as a relative path in an argument counts from there.
    CommandRun quindle(const QStringList &arguments) {
        return test::runCommand(QStringLiteral(QUINDLE_BINARY), arguments,
                                QProcessEnvironment::systemEnvironment(), home());
    }
};

TEST_F(SettingsCommand, LoweringTheHardFloorNeedsConfirmingAndARefusalChangesNothing) {
    const QByteArray before = readText(paths::configFile());
    for (const QStringList &refused :
         {QStringList{"settings", "set", "hardFloorDays", "3"},
          QStringList{"settings", "set", "hardFloorDays", "0", "--confirm"},
          QStringList{"settings", "set", "quietMode", "never"},
          QStringList{"settings", "set", "disableDelete", "maybe"},
          QStringList{"settings", "set", "nosuch", "1"}}) {
        const CommandRun run = quindle(refused);
        EXPECT_EQ(run.status, 1) << refused.join(' ').toStdString();
        EXPECT_TRUE(run.err.endsWith(".\n")) << run.err.toStdString();
        EXPECT_EQ(run.out, QString());
    }
    EXPECT_TRUE(quindle({"settings", "set", "hardFloorDays", "3"}).err.contains("--confirm"));
    EXPECT_EQ(quindle({"settings", "set", "hardFloorDays"}).status, 2);
    EXPECT_EQ(readText(paths::configFile()), before);

    const CommandRun lowered = quindle({"settings", "set", "hardFloorDays", "3", "--confirm"});
    EXPECT_EQ(lowered.status, 0) << lowered.err.toStdString();
    EXPECT_TRUE(readText(paths::configFile()).contains("\nMIN_AGE_HARD_FLOOR_DAYS=3\n"));
    EXPECT_TRUE(quindle({"settings"}).out.contains("  hardFloorDays          3\n"));
}

TEST_F(SettingsCommand, RulesAreListedAtTheAgesTheyRunAtAndEditedByNumber) {
    EXPECT_EQ(quindle({"rules"}).out, "No rules are configured. Add one with: quindle rules add "
                                      "ACTION SOURCE DESTINATION AGE\n");
    const CommandRun added = quindle({"rules", "add", "archive_old", "Videos", "", "3"});
    EXPECT_EQ(added.status, 0) << added.err.toStdString();
    EXPECT_EQ(quindle({"settings", "set", "minArchiveDays", "30"}).status, 0);
    EXPECT_EQ(quindle({"rules"}).out,
              "1. Move (by age) (archive_old): ~/Videos → the Archive folder on the NVMe\n"
              "   Age 3 days; runs at 30 days (floor).\n"
              "1 rule is below the 7-day hard floor; quindle rules raise-to-floor raises it.\n");

    const QByteArray before = readText(paths::configFile());
    const std::pair<QStringList, QString> refused[] = {
        {{"rules", "add", "archive_old", "/etc", "", "3"},
         "Rule 2 (archive_old) was not saved: its source “/etc” is not a folder inside your home "
         "folder.\n"},
        {{"rules", "add", "compress", "Videos", "", "3"},
         "“compress” is not an action. The actions are archive_old, archive_big, delete_old and "
         "app_cache_clean.\n"},
        {{"rules", "set-age", "1", "-2"}, "“-2” is not a number of days.\n"},
        {{"rules", "remove", "2"}, "There is no rule “2”; the rules are numbered 1 to 1.\n"}};
    for (const auto &[arguments, sentence] : refused) {
        const CommandRun run = quindle(arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, sentence);
    }
    EXPECT_EQ(readText(paths::configFile()), before);

    EXPECT_EQ(quindle({"rules", "raise-to-floor"}).out, "Raised 1 rule to the 7-day hard floor.\n");
    EXPECT_TRUE(readText(paths::configFile()).contains("\"archive_old | $HOME/Videos |  | 7 | \""));
    EXPECT_EQ(quindle({"rules", "remove", "1"}).status, 0);
    EXPECT_TRUE(readText(paths::configFile()).contains("\nRULES=(\n)\n"));

    QFile::remove(paths::configFile());
    const CommandRun missing = quindle({"rules"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "There is no configuration file at ~/.quindle/quindle.conf yet; "
                           "quindle service install writes it.\n");
}
