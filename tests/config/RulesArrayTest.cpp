#include "core/RulesArray.h"
#include "config/BashReader.h"
#include "core/RuleFloor.h"
#include "core/StatePaths.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace quindle;
using test::readText;
using test::writeText;

class RulesArrayTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        ASSERT_TRUE(drive.isValid());
        for (const char *folder : {"Videos", "Downloads", "tmp", ".quindle/state"})
            QDir().mkpath(inHome(folder));
        writeText(paths::configFile(), "# mine\nNVMe='" + drive.path().toUtf8() +
                                           "'\nRULES=(\n  \"shred_all | /etc | x | 2 | a b\"\n)\n"
                                           "APP_CACHE_PATHS=()\n");
        rules = std::make_unique<RulesArray>(); // reads the temporary home's file
        rules->load();
    }
    QList<RuleRecord> records() const {
        QList<RuleRecord> list;
        for (const RuleRow &row : rules->rows())
            list << row.record;
        return list;
    }
    QUuid idOf(qsizetype index) const { return rules->rows().at(index).id; }

    // Outside the home folder, as a drive is.
    QTemporaryDir drive{QDir::tempPath() + "/quindle-drive-XXXXXX"};
    std::unique_ptr<RulesArray> rules;
};

TEST_F(RulesArrayTest, EditsAreWrittenAtOnceAndBashReadsEveryRecordBack) {
    ASSERT_EQ(rules->rows().size(), 1);
    EXPECT_EQ(rules->rows().at(0).actionLabel(), "shred_all"); // unknown: shown and kept raw
    const QString videos = home() + "/Videos";
    EXPECT_EQ(rules->add({"archive_old", videos, drive.path() + "/Videos", 30, ""}), std::nullopt);
    EXPECT_EQ(rules->add({"delete_old", home() + "/tmp", "", 60, ""}), std::nullopt);
    EXPECT_EQ(rules->add({"archive_big", home() + "/Downloads", "", 7, "1G"}), std::nullopt);
    EXPECT_EQ(rules->add({"app_cache_clean", "", "", 0, ""}), std::nullopt);
    EXPECT_EQ(rules->updateAge(idOf(1), -4), std::nullopt);
    EXPECT_EQ(rules->replace(idOf(2), {"delete_old", home() + "/tmp", "", 90, ""}), std::nullopt);
    EXPECT_EQ(rules->remove(idOf(0)), std::nullopt);
    EXPECT_EQ(rules->lastError(), std::nullopt);

    const QList<RuleRecord> expected{{"archive_old", videos, drive.path() + "/Videos", 0, ""},
                                     {"delete_old", home() + "/tmp", "", 90, ""},
                                     {"archive_big", home() + "/Downloads", "", 7, "1G"},
                                     {"app_cache_clean", "", "", 0, ""}};
    EXPECT_EQ(records(), expected);
    const QByteArray text = readText(paths::configFile());
    EXPECT_TRUE(text.startsWith("# mine\nNVMe='"));
    EXPECT_TRUE(text.endsWith(")\nAPP_CACHE_PATHS=()\n"));
    EXPECT_TRUE(text.contains("\n  \"delete_old | $HOME/tmp |  | 90 | \"\n"));

    // The service reads each record as its fields, with the home folder back in place.
    QStringList read = test::sourceWithBash(paths::configFile(), {"RULES"}).values.value("RULES");
    ASSERT_EQ(read.size(), expected.size());
    for (qsizetype i = 0; i < read.size(); ++i) {
        QStringList fields = read.at(i).split('|');
        for (QString &field : fields)
            field = field.trimmed();
        const RuleRecord &rule = expected.at(i);
        EXPECT_EQ(fields, QStringList({rule.action, rule.source, rule.destination,
                                       QString::number(rule.ageDays), rule.extras}));
    }

    // A new load has the same rules under new ids.
    const QUuid before = idOf(0);
    rules->load();
    EXPECT_EQ(records(), expected);
    EXPECT_NE(idOf(0), before);
}

TEST_F(RulesArrayTest, RulesTheServiceWouldRefuseAreNotSavedAndTheFileStaysByteForByte) {
    QDir().mkpath(inHome(".local/share/Trash/files/old"));
    QFile::link(drive.path(), inHome("drive-link"));
    QFile::link("/etc", inHome("etc-link"));
    QFile::link(inHome(".quindle/state"), inHome("state-link"));
    writeText(inHome("notes.txt"), "x");
    QDir().mkpath(drive.path() + "/inside");
    QFile::link(home(), drive.path() + "/back-home");
    ASSERT_EQ(rules->add({"archive_old", home() + "/Videos", "", 30, ""}), std::nullopt);
    const QByteArray saved = readText(paths::configFile());
    const QList<RuleRecord> rows = records();

    const QString r = "Rule 3 (";
    const std::pair<RuleRecord, QString> refused[] = {
        {{"archive_old", "/etc", "", 30, ""}, "its source “/etc” is not a folder inside your home"},
        {{"archive_old", home(), "", 30, ""}, "its source “~” is not a folder inside your home"},
        {{"delete_old", "Videos", "", 30, ""}, "its source “Videos” is not a folder inside"},
        {{"delete_old", home() + "/etc-link", "", 30, ""}, "its source “~/etc-link” is not a "},
        {{"delete_old", home() + "/state-link", "", 30, ""}, "lies in ~/.quindle, which rules "},
        {{"delete_old", home() + "/.local/share/Trash/files/old", "", 9, ""},
         "lies in ~/.local/share/Trash, which rules never touch"},
        {{"archive_old", home() + "/drive-link", "", 9, ""}, "its source “~/drive-link” is not"},
        {{"delete_old", home() + "/Photos", "", 30, ""}, "its source ~/Photos does not exist"},
        {{"delete_old", home() + "/notes.txt", "", 30, ""}, "~/notes.txt is not a folder"},
        {{"archive_old", home() + "/Videos", "/srv/archive", 30, ""},
         "its destination “/srv/archive” is not on the NVMe at " + drive.path()},
        {{"archive_old", home() + "/Videos", drive.path() + "/back-home/x", 30, ""},
         "its destination “" + drive.path() + "/back-home/x” is not on the NVMe"},
        {{"archive_old", home() + "/Videos", "NVMe/Videos", 30, ""}, "its destination “NVMe/"},
        {{"archive_big", home() + "/Downloads", "", 7, "lots"}, "“lots” is not a size"},
        {{"archive_big", home() + "/Downloads", "", 7, "999999999999T"}, "is not a size"},
        {{"delete_old", home() + "/tmp", "", 36501, ""}, "its age of 36501 days is more than"},
        {{"delete_old", home() + "/tmp\tx", "", 30, ""}, "its source contains a tab"},
        {{"delete_old", home() + "/tmp", "", 30, "a|b"}, "its extras contains a bar (|)"},
        {{"delete_old", home() + "/tmp ", "", 30, ""}, "begins or ends with a space"},
        {{"delete_old", home() + "/a\x0b", "", 30, ""}, "the control character U+000B"},
    };
    for (const auto &[rule, reason] : refused) {
        // Added after a valid rule of the file and the one above, so it is number 3.
        const std::optional<QString> error = rules->add(rule);
        ASSERT_TRUE(error.has_value()) << rule.source.toStdString();
        EXPECT_TRUE(error->startsWith(r + rule.action + ") was not saved: "))
            << error->toStdString();
        EXPECT_TRUE(error->contains(reason)) << error->toStdString();
        EXPECT_TRUE(error->endsWith('.'));
        EXPECT_EQ(rules->lastError(), error);
        EXPECT_EQ(records(), rows);
        EXPECT_EQ(readText(paths::configFile()), saved);
    }
    // An edit that would make a saved rule refusable leaves it too.
    EXPECT_TRUE(rules->updateAge(idOf(1), 50000).has_value());
    EXPECT_EQ(records(), rows);

    // What the service does act on: an empty destination, one on the drive through a link,
    // an empty size, and rules of actions it skips, which are the person's own.
    QFile::link(drive.path() + "/inside", inHome("to-drive"));
    for (const RuleRecord &rule :
         {RuleRecord{"archive_old", home() + "/Videos/", "", 0, ""},
          RuleRecord{"archive_old", home() + "/Videos", home() + "/to-drive/Videos", 30, ""},
          RuleRecord{"archive_old", home() + "/Videos", "$HOME/to-drive", 30, ""},
          RuleRecord{"archive_big", home() + "/Downloads", drive.path(), 30, "250 MB"},
          RuleRecord{"compress", "/anywhere", "relative", 3, "whatever"}})
        EXPECT_EQ(rules->add(rule), std::nullopt) << rule.destination.toStdString();
    EXPECT_EQ(rules->lastError(), std::nullopt);
}

TEST_F(RulesArrayTest, ADriveMountedInsideTheHomeFolderIsNeitherASourceNorInsideOne) {
    QDir().mkpath(inHome("media/NVMe/Old"));
    writeText(paths::configFile(), "NVMe=\"$HOME/media/NVMe/\"\nRULES=()\n");
    rules->load();
    EXPECT_EQ(rules->add({"delete_old", inHome("media"), "", 30, ""}),
              "Rule 1 (delete_old) was not saved: its source ~/media holds the NVMe at "
              "~/media/NVMe.");
    EXPECT_EQ(rules->add({"archive_old", inHome("media/NVMe/Old"), "", 30, ""}),
              "Rule 1 (archive_old) was not saved: its source ~/media/NVMe/Old lies in "
              "~/media/NVMe, which rules never touch.");
    EXPECT_EQ(rules->add({"archive_old", inHome("media/NVMe/../../Videos"), "", 30, ""}),
              std::nullopt);
}

TEST_F(RulesArrayTest, AnUnreadableFileGivesNoRulesAndIsNeverWritten) {
    QFile::remove(paths::configFile());
    QDir().mkpath(paths::configFile());
    QSignalSpy changed(rules.get(), &RulesArray::changed);
    rules->load();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(rules->rows().isEmpty());
    EXPECT_EQ(rules->lastError(), "Couldn't read config at " + paths::configFile());
    EXPECT_EQ(rules->add({"archive_old", home() + "/Videos", "", 30, ""}), "Couldn't read config");
    EXPECT_TRUE(QFileInfo(paths::configFile()).isDir());
    EXPECT_TRUE(rules->rows().isEmpty());
}

TEST_F(RulesArrayTest, RaisingToTheFloorChangesOnlyTheRulesItHoldsBack) {
    ASSERT_EQ(rules->add({"archive_old", home() + "/Videos", "", 3, ""}), std::nullopt);
    ASSERT_EQ(rules->add({"delete_old", home() + "/tmp", "", 30, ""}), std::nullopt);
    ASSERT_EQ(rules->add({"app_cache_clean", "", "", 0, ""}), std::nullopt);
    ASSERT_EQ(rules->add({"archive_big", home() + "/Downloads", "", 5, ""}), std::nullopt);
    // The file's unknown rule (age 2) and cache cleaning (no age of its own) are not held back.
    EXPECT_EQ(rules->countBelowFloor(7), 2);
    EXPECT_EQ(rules->countBelowFloor(1), 0);

    // "Raise to 7d" on one row stores 7 in that record only.
    ASSERT_EQ(rules->updateAge(idOf(1), 7), std::nullopt);
    EXPECT_TRUE(readText(paths::configFile()).contains("archive_old | $HOME/Videos |  | 7 | "));
    EXPECT_TRUE(readText(paths::configFile()).contains("archive_big | $HOME/Downloads |  | 5 | "));
    ASSERT_EQ(rules->raiseAllBelowFloor(10), std::nullopt);
    QList<qint64> ages;
    for (const RuleRow &row : rules->rows())
        ages << row.record.ageDays;
    EXPECT_EQ(ages, QList<qint64>({2, 10, 30, 0, 10}));
    EXPECT_EQ(rules->countBelowFloor(10), 0);
}

TEST(RuleFloors, EachRuleRunsAtTheLargestOfItsAgeItsKindsFloorAndTheHardFloor) {
    Preferences floors;
    floors.minArchiveDays = 30;
    floors.minDeleteDays = 45;
    floors.hardFloorDays = 7;
    const auto at = [&](const QString &action, qint64 age) {
        return ruleFloor::effectiveAgeDays({action, "/s", "", age, ""}, floors);
    };
    EXPECT_EQ(at("archive_old", 3), 30);
    EXPECT_EQ(at("archive_big", 60), 60);
    EXPECT_EQ(at("delete_old", 10), 45);
    EXPECT_EQ(at("app_cache_clean", 0), 7);
    EXPECT_EQ(at("shred_all", 0), std::nullopt);
    floors.hardFloorDays = 0; // never below a day
    EXPECT_EQ(at("app_cache_clean", -2), 1);

    EXPECT_EQ(ruleFloor::overrides(7, 3), "The hard floor (7 days) overrides this rule's 3 days.");
    EXPECT_EQ(ruleFloor::lowerDetails(1).count("1 day,"), 1);
    EXPECT_TRUE(ruleFloor::lowerDetails(1).contains("within the last 1 day,"));
    EXPECT_TRUE(ruleFloor::lowerDetails(3).contains("Lowering it to 3 days lets"));
    EXPECT_EQ(ruleFloor::statement(6), "Lowered below the 7-day default. Quindle may move files "
                                       "you edited within the last week.");
}
