#include "core/ConfigFile.h"
#include "config/BashReader.h"
#include "core/RulesBlock.h"
#include "support/TempHome.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace quindle;
using test::readText;
using test::writeText;

namespace {

// The head and tail of the template the installer writes, without its final line feed.
const QByteArray kTemplate = "# Quindle configuration\nNVMe=\"/media/u/NVMe\"\nRULES=()\n"
                             "APP_CACHE_PATHS=()\nAPP_CACHE_SAFE_DIRS=()";

} // namespace

class ConfigFileTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        config = ConfigFile(); // only now does the home folder point at the temporary one
        writeText(config.path(), kTemplate);
    }
    ConfigFile config{QString()};
};

TEST_F(ConfigFileTest, AwkwardValuesReadBackExactlyInBashAndNothingRuns) {
    // A command that ran would leave a file ~/ran-… behind.
    const QStringList values({"Backup Drive", "a # not a comment", "C:\\temp\\", "say \"hi\"",
                              "it's", "both ' and \" quotes \\", "Backup$2026", "$HOME/elsewhere",
                              "${HOME}", "$(touch $HOME/ran-dollar)", "`touch $HOME/ran-backquote`",
                              "\"$(touch $HOME/ran-quoted)\"", "; touch $HOME/ran-semicolon",
                              "Ünïcødé Laufwerk ✓ 日本", "*", "~/tilde", "  padded\t", "!history",
                              ""});
    QStringList keys;
    for (qsizetype i = 0; i < values.size(); ++i)
        keys << QStringLiteral("VALUE_%1").arg(i, 2, 10, QLatin1Char('0'));

    // The first save appends every key under the header; the second replaces each in place with
    // another awkward value.
    for (int round = 0; round < 2; ++round) {
        std::map<QString, QString> updates;
        for (qsizetype i = 0; i < keys.size(); ++i)
            updates[keys.at(i)] = values.at(round ? values.size() - 1 - i : i);
        ASSERT_EQ(config.set(updates), std::nullopt);
        const test::Sourced sourced = test::sourceWithBash(config.path(), keys);
        EXPECT_EQ(sourced.errors, QString());
        for (const auto &[key, value] : updates) {
            EXPECT_EQ(sourced.values.value(key), QStringList{value})
                << "round " << round << ": " << readText(config.path()).toStdString();
            // `quindle config get` gives back what was set, as bash reads it.
            EXPECT_EQ(ConfigFile::unquote(config.written(key).value_or("(none)")), value)
                << key.toStdString();
        }
    }
    EXPECT_EQ(QDir(home()).entryList({"ran*"}), QStringList());
    EXPECT_EQ(readText(config.path()).count(ConfigFile::newKeysHeader.toUtf8()), 1);
    // Without escapes to undo, the application reads the same value as bash.
    EXPECT_EQ(config.value("VALUE_12"), "Backup$2026");
    EXPECT_EQ(config.value("VALUE_05"), "Ünïcødé Laufwerk ✓ 日本");
}

TEST_F(ConfigFileTest, AKeyAppendedByHandReadsAndSavesAsTheServiceSeesIt) {
    writeText(config.path(), kTemplate + "\nQUIET_MODE=schedule # weekdays\nQUIET_MODE=smart\n");
    EXPECT_EQ(config.value("QUIET_MODE"), "smart");
    EXPECT_EQ(config.values().value_or(std::map<QString, QString>{})["QUIET_MODE"], "smart");
    ASSERT_EQ(config.set({{"QUIET_MODE", "always-on"}}), std::nullopt);
    EXPECT_EQ(test::sourceWithBash(config.path(), {"QUIET_MODE"}).values.value("QUIET_MODE"),
              QStringList{"always-on"});
    EXPECT_TRUE(readText(config.path()).contains("QUIET_MODE=\"always-on\" # weekdays\n"));
}

TEST_F(ConfigFileTest, RefusesWhatBashCouldNotReadBackAndLeavesTheFileAlone) {
    const std::pair<QString, QString> refused[] = {{"NVMe", "it's $HOME"},
                                                   {"NVMe", "don't `run`"},
                                                   {"NVMe", "two\nlines"},
                                                   {"NVMe", "carriage\rreturn"},
                                                   {"NVMe", QString("nul") + QChar(0)},
                                                   {"9LIVES", "1"},
                                                   {"BAD-KEY", "1"},
                                                   {"", "1"}};
    for (const auto &[key, value] : refused) {
        EXPECT_TRUE(config.set({{"QUIET_MODE", "smart"}, {key, value}}).has_value())
            << key.toStdString() << "=" << value.toStdString();
        EXPECT_EQ(readText(config.path()), kTemplate);
    }
}

TEST(ConfigFileRules, ValuesAreQuotedAndLinesParsedTheWayBashReadsThem) {
    const char *const quoting[][2] = {{"9-19", R"("9-19")"},
                                      {"30", "30"},
                                      {"Name_1.2", "Name_1.2"},
                                      {"", R"("")"},
                                      {R"(say "hi")", R"("say \"hi\"")"},
                                      {R"(a\b)", R"("a\\b")"},
                                      {R"(a\"b)", R"("a\\\"b")"},
                                      {"a b", R"("a b")"},
                                      {"Backup$2026", "'Backup$2026'"},
                                      {"`x`", "'`x`'"}};
    for (const auto &[value, quoted] : quoting)
        EXPECT_EQ(ConfigFile::quote(value), quoted) << value;

    // Key, value; no key: not a scalar assignment.
    const char *const parsing[][3] = {
        {"export SMART_MIN_BATTERY=20 # note", "SMART_MIN_BATTERY", "20"},
        {"KEY=\"a # b\"  ", "KEY", "a # b"},
        {"KEY='x # y'", "KEY", "x # y"},
        {"KEY=a#b", "KEY", "a#b"},
        {"KEY=\"x\"\t# note", "KEY", "x"},
        {"KEY='it''s' # note", "KEY", "it''s"},
        {R"(KEY="say \"hi\"")", "KEY", R"(say \"hi\")"},
        {"KEY=\"", "KEY", "\""},
        {"KEY=", "KEY", ""},
        {"exportKEY=1", "exportKEY", "1"},
        {"RULES=()", nullptr, nullptr},
        {"RULES=(", nullptr, nullptr},
        {"no assignment here", nullptr, nullptr},
        {"BAD-KEY=1", nullptr, nullptr},
        {"=1", nullptr, nullptr}};
    for (const auto &[line, key, value] : parsing) {
        using Pair = std::pair<QString, QString>;
        EXPECT_EQ(ConfigFile::parse(line), key ? std::optional(Pair(key, value)) : std::nullopt)
            << line;
    }
}

TEST(ConfigFileRules, RewriteChangesEveryAssignmentKeepsWhatSurroundsItAndAddsOneHeaderPerSave) {
    const QString text = "# settings\n"
                         "\n"
                         "  export SMART_MIN_BATTERY=20 # note\n"
                         "#QUIET_MODE=always-on\n"
                         "QUIET_MODE=schedule\n"
                         "QUIET_MODE=smart\n"
                         "RULES=(\n"
                         "  \"archive_old | $HOME/a | /b | 30\"\n"
                         ")\n";
    EXPECT_EQ(ConfigFile::rewrite(text, {{"SMART_MIN_BATTERY", "25"}, {"QUIET_MODE", "always-on"}}),
              QString(text)
                  .replace("SMART_MIN_BATTERY=20 # note", "SMART_MIN_BATTERY=25 # note")
                  .replace("QUIET_MODE=schedule", "QUIET_MODE=\"always-on\"")
                  .replace("QUIET_MODE=smart", "QUIET_MODE=\"always-on\""));

    const QString header = ConfigFile::newKeysHeader;
    // A file ending in a line feed already has the blank line; one without gets exactly one. The
    // result always ends in a line feed, so a line appended by hand starts on a line of its own.
    EXPECT_EQ(ConfigFile::rewrite("A=1\n", {{"Z_KEY", "z"}, {"B_KEY", "b c"}}),
              "A=1\n\n" + header + "\nB_KEY=\"b c\"\nZ_KEY=z\n");
    const QString once = ConfigFile::rewrite("A=1", {{"B", "2"}});
    EXPECT_EQ(once, "A=1\n\n" + header + "\nB=2\n");
    // Changing a key the first save added adds no header; a new key adds a second one.
    EXPECT_EQ(ConfigFile::rewrite(once, {{"B", "3"}}), "A=1\n\n" + header + "\nB=3\n");
    EXPECT_EQ(ConfigFile::rewrite(once, {{"B", "3"}, {"C", "4"}}),
              "A=1\n\n" + header + "\nB=3\n\n" + header + "\nC=4\n");
    EXPECT_EQ(ConfigFile::rewrite("A=1", {{"A", "2"}}), "A=2\n");
}

TEST_F(ConfigFileTest, SavingKeepsTheFinalLineFeedAndTheFileMode) {
    writeText(config.path(), "NVMe=/a\nQUIET_MODE=smart\n\n");
    ::chmod(QFile::encodeName(config.path()).constData(), 0600);
    ASSERT_EQ(config.set({{"NVMe", "/b"}}), std::nullopt);
    EXPECT_EQ(readText(config.path()), "NVMe=\"/b\"\nQUIET_MODE=smart\n\n");
    EXPECT_EQ(QFile::permissions(config.path()),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(QDir(QFileInfo(config.path()).path()).entryList({"*.tmp.*"}), QStringList());
}

TEST_F(ConfigFileTest, ATextThatIsNotUtf8IsReadButNeverRewritten) {
    const QByteArray latin1 = "# K\xf6ln\nNVMe=/media/u/Drive\n";
    writeText(config.path(), latin1);
    EXPECT_EQ(config.value("NVMe"), "/media/u/Drive");
    EXPECT_TRUE(config.set({{"NVMe", "/x"}}).has_value());
    EXPECT_EQ(RulesBlock::write(config, {}), RulesBlock::readFailure);
    EXPECT_EQ(readText(config.path()), latin1);
}

// The temporary home is private to root; the unprivileged child needs a folder it may write in,
// so that only the file's own mode stands between it and a rewrite.
TEST(ConfigFileAccess, AnUnreadableFileLeavesTheConfigurationUntouched) {
    QTemporaryDir shared("/tmp/quindle-config-XXXXXX");
    ASSERT_TRUE(shared.isValid());
    ::chmod(QFile::encodeName(shared.path()).constData(), 0777);
    const ConfigFile config(shared.filePath("quindle.conf"));
    writeText(config.path(), kTemplate);
    ::chmod(QFile::encodeName(config.path()).constData(), 0);

    EXPECT_EQ(test::runUnprivileged([&] {
                  const RuleRecord rule{"delete_old", "/tmp/x", "", 30, ""};
                  return !config.value("NVMe") && config.set({{"NVMe", "/y"}}).has_value() &&
                         RulesBlock::write(config, {rule}) == RulesBlock::readFailure &&
                         !RulesBlock::read(config);
              }),
              1);
    EXPECT_EQ(readText(config.path()), kTemplate);
    EXPECT_EQ(QDir(shared.path()).entryList(QDir::Files), QStringList{"quindle.conf"});
}

// --- the RULES array ---------------------------------------------------------------------------

class RulesBlockTest : public ConfigFileTest {};

TEST_F(RulesBlockTest, SavingReplacesOnlyTheRulesLineAndBashReadsEveryRecordBack) {
    const QByteArray before = "NVMe=\"/media/u/NVMe\"\n";
    const QByteArray after = "APP_CACHE_PATHS=()\nAPP_CACHE_SAFE_DIRS=()\n# mine\n";
    writeText(config.path(), before + "RULES=()\n" + after);
    // Only the home folder itself becomes $HOME, not a sibling whose name starts like it.
    const QString sibling = home() + "-backup/Movies and TV";
    const QList<RuleRecord> rules{
        {"archive_old", home() + "/Downloads", "/media/u/NVMe/Archive", 30, ""},
        {"archive_big", sibling, "/media/u/NVMe/Big Files ü", 14, "500M"}};
    const QStringList records{"archive_old | $HOME/Downloads | /media/u/NVMe/Archive | 30 | ",
                              "archive_big | " + sibling +
                                  " | /media/u/NVMe/Big Files ü | 14 | 500M"};
    ASSERT_EQ(RulesBlock::write(config, rules), std::nullopt);
    EXPECT_EQ(readText(config.path()),
              before + "RULES=(\n  \"" + records.join("\"\n  \"").toUtf8() + "\"\n)\n" + after);
    EXPECT_EQ(RulesBlock::read(config), rules);
    const test::Sourced sourced =
        test::sourceWithBash(config.path(), {"NVMe", "RULES", "APP_CACHE_PATHS"});
    EXPECT_EQ(sourced.errors, QString());
    EXPECT_EQ(sourced.values, (QMap<QString, QStringList>{
                                  {"NVMe", {"/media/u/NVMe"}},
                                  {"RULES", QStringList(records).replaceInStrings("$HOME", home())},
                                  {"APP_CACHE_PATHS", {}}}));

    // Saving again replaces the multi-line block.
    ASSERT_EQ(RulesBlock::write(config, {}), std::nullopt);
    EXPECT_EQ(readText(config.path()), before + "RULES=(\n)\n" + after);
}

TEST_F(RulesBlockTest, AFourFieldRecordComesBackWithFiveFieldsAndHomeAsAVariable) {
    writeText(config.path(),
              "RULES=(\"archive_old | $HOME/Documents/Old | /media/u/NVMe/Old | 30\")\nX=1");
    const std::optional<QList<RuleRecord>> rules = RulesBlock::read(config);
    ASSERT_EQ(rules, QList<RuleRecord>({{"archive_old", home() + "/Documents/Old",
                                         "/media/u/NVMe/Old", 30, ""}}));
    ASSERT_EQ(RulesBlock::write(config, *rules), std::nullopt);
    EXPECT_EQ(
        readText(config.path()),
        "RULES=(\n  \"archive_old | $HOME/Documents/Old | /media/u/NVMe/Old | 30 | \"\n)\nX=1");
}

TEST_F(RulesBlockTest, BlockGrammar) {
    const auto rulesOf = [&](const QString &text) {
        QStringList lines;
        for (const RuleRecord &r : RulesBlock::parse(text, home()))
            lines << QStringLiteral("%1|%2|%3|%4|%5")
                         .arg(r.action, r.source, r.destination)
                         .arg(r.ageDays)
                         .arg(r.extras);
        return lines.join(u'\n');
    };
    // Comments, blank lines and records with too few fields are passed over; ages that are not
    // numbers read as 0; an unclosed quote is dropped.
    EXPECT_EQ(rulesOf("A=1\n"
                      "RULES=(\n"
                      "  # \"delete_old | /commented | | 1\"\n"
                      "\n"
                      "  \"delete_old|$HOME/Downloads|  |+14|x\"  # keep\n"
                      "  \"archive_old | /a | /b\"\n"
                      "  \"archive_big | /c | /d | soon | 1G | ignored\"\n"
                      "  \"app_cache_clean | | | -3\" \"delete_old | /e | | 5\n"
                      ")\n"
                      "OTHER=(\"delete_old | /not/rules | | 1\")\n"),
              "delete_old|" + home() +
                  "/Downloads||14|x\narchive_big|/c|/d|0|1G\n"
                  "app_cache_clean|||-3|");
    // A closing parenthesis inside a record does not end a single-line block; $HOMEX is another
    // variable.
    EXPECT_EQ(rulesOf("RULES=( \"archive_old | $HOME/Photos (2019) | /n | 30\" \"delete_old | "
                      "${HOME}/tmp | | 7\" \"delete_old | $HOMEX/a | | 1\" )"),
              "archive_old|" + home() + "/Photos (2019)|/n|30|\ndelete_old|" + home() +
                  "/tmp||7|\ndelete_old|$HOMEX/a||1|");
    EXPECT_EQ(rulesOf("NVMe=/x\n# RULES=(\"delete_old | /a | | 1\")"), QString());
    // A block appended by hand replaces the first, in bash and here.
    const QString twice =
        "RULES=(\"delete_old | /a | | 1\")\nRULES=(\n\"delete_old | /b | | 2\"\n)\n";
    EXPECT_EQ(rulesOf(twice), "delete_old|/b||2|");
    EXPECT_EQ(RulesBlock::rewrite(twice, {{"delete_old", "/c", "", 3, ""}}, home()),
              "RULES=(\"delete_old | /a | | 1\")\nRULES=(\n  \"delete_old | /c |  | 3 | \"\n)\n");

    // Without a block, one is appended after a blank line.
    const QList<RuleRecord> rules{{"delete_old", home() + "/tmp", "", 7, ""}};
    for (const QString &text : QStringList{"A=1", "A=1\n"})
        EXPECT_EQ(RulesBlock::rewrite(text, rules, home()),
                  "A=1\n\nRULES=(\n  \"delete_old | $HOME/tmp |  | 7 | \"\n)");
}

TEST_F(RulesBlockTest, RecordsBashWouldReadDifferentlyAndAMissingFileAreRefused) {
    writeText(config.path(), "RULES=()\n");
    const std::pair<QString, QString> refused[] = {{"/a \"quoted\"", "a double quote"},
                                                   {"/cost$5", "a dollar sign"},
                                                   {"/`id`", "a backquote"},
                                                   {"/a|b", "a bar (|)"},
                                                   {"/back\\slash", "a backslash"},
                                                   {"/two\nlines", "a line break"},
                                                   {"$HOMEX/a", "a dollar sign"},
                                                   {"/tab\there", "a tab"},
                                                   {"/bell\a", "the control character U+0007"}};
    const RuleRecord fine{"archive_old", "/a", "", 9, ""};
    for (const auto &[source, character] : refused) {
        // The second record is the one refused, and the sentence says which and why.
        const std::optional<QString> error =
            RulesBlock::write(config, {fine, {"delete_old", source, "", 9, ""}});
        EXPECT_EQ(error, "Rule 2 (delete_old) was not saved: its source contains " + character +
                             ", which a rule cannot hold.");
    }
    EXPECT_EQ(RulesBlock::write(config, {{"", "/a", " /b", 1, ""}}),
              "Rule 1 (no action) was not saved: its destination begins or ends with a space, "
              "which the service would drop.");
    EXPECT_EQ(readText(config.path()), "RULES=()\n");
    // $HOME that the reader left in a destination is written back as it came.
    EXPECT_EQ(RulesBlock::write(config, {{"archive_old", "/a", "$HOME/b", 1, ""}}), std::nullopt);

    QFile::remove(config.path());
    EXPECT_EQ(RulesBlock::read(config), std::nullopt);
    EXPECT_EQ(RulesBlock::write(config, {}), RulesBlock::readFailure);
    EXPECT_FALSE(QFileInfo::exists(config.path()));
}
