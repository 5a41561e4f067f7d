#include "core/ConfigFile.h"
#include "config/BashReader.h"
#include "core/RulesBlock.h"
#include "core/StatePaths.h"
#include "support/TempHome.h"
#include "support/Unprivileged.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace quindle;
using test::readText;
using test::writeText;

namespace {

// The template the installer writes, without its final line feed.
const QByteArray kTemplate = "# Quindle configuration\n"
                             "NVMe=\"/media/u/NVMe\"\n"
                             "ENABLE_AUTO_ACTIONS=1\n"
                             "WATCH_INTERVAL_SECS=30\n"
                             "LOW_SPACE_WARN_GB=40\n"
                             "LOW_SPACE_CRITICAL_GB=15\n"
                             "QUIET_HOURS_BLOCKED=\"9-19\"\n"
                             "IDLE_THRESHOLD_SECS=600\n"
                             "AUTO_RELOCATE_DAILY=1\n"
                             "AUTO_RELOCATE_HOUR=3\n"
                             "MIN_AGE_HARD_FLOOR_DAYS=7\n"
                             "RULES=()\n"
                             "APP_CACHE_PATHS=()\n"
                             "APP_CACHE_SAFE_DIRS=()";

QString rewrite(const QString &text, const std::map<QString, QString> &updates) {
    return ConfigFile::rewrite(text, updates);
}

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
    const QString ran = inHome(QStringLiteral("ran"));
    const QStringList values{
        QStringLiteral("Backup Drive"),
        QStringLiteral("a # not a comment"),
        QStringLiteral("C:\\temp\\"),
        QStringLiteral("say \"hi\""),
        QStringLiteral("it's"),
        QStringLiteral("both ' and \" quotes \\"),
        QStringLiteral("Backup$2026"),
        QStringLiteral("$HOME/elsewhere"),
        QStringLiteral("${HOME}"),
        QStringLiteral("$(touch %1-dollar)").arg(ran),
        QStringLiteral("`touch %1-backquote`").arg(ran),
        QStringLiteral("\"$(touch %1-quoted)\"").arg(ran),
        QStringLiteral("; touch %1-semicolon").arg(ran),
        QStringLiteral("Ünïcødé Laufwerk ✓ 日本"),
        QStringLiteral("*"),
        QStringLiteral("~/tilde"),
        QStringLiteral("  padded\t"),
        QStringLiteral("!history"),
        QStringLiteral("9-12,14-18"),
        QStringLiteral("30"),
        QString(),
    };
    std::map<QString, QString> updates;
    QStringList keys;
    for (qsizetype i = 0; i < values.size(); ++i) {
        keys << QStringLiteral("VALUE_%1").arg(i, 2, 10, QLatin1Char('0'));
        updates[keys.last()] = values.at(i);
    }

    // Appended under the header first, then replaced in place by a second save.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(config.set(updates), std::nullopt);
        const test::Sourced sourced = test::sourceWithBash(config.path(), keys);
        ASSERT_EQ(sourced.status, 0) << sourced.errors.toStdString();
        EXPECT_EQ(sourced.errors, QString());
        for (qsizetype i = 0; i < values.size(); ++i)
            EXPECT_EQ(sourced.scalars.value(keys.at(i)), values.at(i))
                << "round " << round << ": " << readText(config.path()).toStdString();
    }
    EXPECT_EQ(QDir(home()).entryList({QStringLiteral("ran*")}), QStringList());
    EXPECT_EQ(readText(config.path()).count("# --- Set by the Preferences window ---"), 1);

    // Without escapes to undo, the application reads the same value as bash.
    EXPECT_EQ(config.value(QStringLiteral("VALUE_06")), QStringLiteral("Backup$2026"));
    EXPECT_EQ(config.value(QStringLiteral("VALUE_13")), values.at(13));
}

TEST_F(ConfigFileTest, RefusesWhatBashCouldNotReadBackAndLeavesTheFileAlone) {
    for (const auto &[key, value] : std::map<QString, QString>{
             {QStringLiteral("NVMe"), QStringLiteral("it's $HOME")},
             {QStringLiteral("NVMe"), QStringLiteral("don't `run`")},
             {QStringLiteral("NVMe"), QStringLiteral("two\nlines")},
             {QStringLiteral("NVMe"), QStringLiteral("carriage\rreturn")},
             {QStringLiteral("NVMe"), QStringLiteral("nul") + QChar(0)},
             {QStringLiteral("9LIVES"), QStringLiteral("1")},
             {QStringLiteral("BAD-KEY"), QStringLiteral("1")},
             {QString(), QStringLiteral("1")},
         }) {
        const std::optional<QString> error =
            config.set({{QStringLiteral("QUIET_MODE"), QStringLiteral("smart")}, {key, value}});
        ASSERT_TRUE(error.has_value()) << key.toStdString() << "=" << value.toStdString();
        EXPECT_TRUE(error->endsWith(QLatin1Char('.'))) << error->toStdString();
        EXPECT_EQ(readText(config.path()), kTemplate);
    }
}

TEST(ConfigFileRules, Quoting) {
    const std::pair<const char *, const char *> cases[] = {
        {"9-19", R"("9-19")"},
        {"30", "30"},
        {"Name_1.2", "Name_1.2"},
        {"", R"("")"},
        {R"(say "hi")", R"("say \"hi\"")"},
        {R"(a\b)", R"("a\\b")"},
        {R"(a\"b)", R"("a\\\"b")"},
        {"a b", R"("a b")"},
        {"Backup$2026", "'Backup$2026'"},
        {"`x`", "'`x`'"},
    };
    for (const auto &[value, quoted] : cases)
        EXPECT_EQ(ConfigFile::quote(QString::fromUtf8(value)), QString::fromUtf8(quoted)) << value;
}

TEST(ConfigFileRules, Parsing) {
    using Pair = std::optional<std::pair<QString, QString>>;
    const auto pair = [](const char *key, const char *value) {
        return Pair(std::pair{QString::fromUtf8(key), QString::fromUtf8(value)});
    };
    const std::pair<const char *, Pair> cases[] = {
        {"export SMART_MIN_BATTERY=20 # note", pair("SMART_MIN_BATTERY", "20")},
        {"KEY=\"a # b\"  ", pair("KEY", "a # b")},
        {"KEY='x # y'", pair("KEY", "x # y")},
        {"KEY=a#b", pair("KEY", "a")},
        {"KEY  =  spaced\t ", pair("KEY", "spaced")},
        {"KEY=\"say \\\"hi\\\"\"", pair("KEY", "say \\\"hi\\\"")},
        {"KEY=\"", pair("KEY", "\"")},
        {"KEY=\"\"", pair("KEY", "")},
        {"KEY=", pair("KEY", "")},
        {"9KEY=1", pair("9KEY", "1")},
        {"RULES=()", std::nullopt},
        {"RULES=(", std::nullopt},
        {"no assignment here", std::nullopt},
        {"BAD-KEY=1", std::nullopt},
        {"=1", std::nullopt},
        {"exportKEY=1", pair("exportKEY", "1")},
    };
    for (const auto &[line, expected] : cases)
        EXPECT_EQ(ConfigFile::parse(QString::fromUtf8(line)), expected) << line;
}

TEST(ConfigFileRules, RewriteReplacesOnlyTheFirstAssignmentAndKeepsEverythingElse) {
    const QString text = QStringLiteral("# settings\n"
                                        "\n"
                                        "  export SMART_MIN_BATTERY=20 # note\n"
                                        "#QUIET_MODE=always-on\n"
                                        "QUIET_MODE=schedule\n"
                                        "QUIET_MODE=smart\n"
                                        "RULES=(\n"
                                        "  \"archive_old | $HOME/a | /b | 30\"\n"
                                        ")\n");
    EXPECT_EQ(rewrite(text, {{QStringLiteral("SMART_MIN_BATTERY"), QStringLiteral("25")},
                             {QStringLiteral("QUIET_MODE"), QStringLiteral("always-on")}}),
              QStringLiteral("# settings\n"
                             "\n"
                             "SMART_MIN_BATTERY=25\n"
                             "#QUIET_MODE=always-on\n"
                             "QUIET_MODE=\"always-on\"\n"
                             "QUIET_MODE=smart\n"
                             "RULES=(\n"
                             "  \"archive_old | $HOME/a | /b | 30\"\n"
                             ")\n"));
}

TEST(ConfigFileRules, NewKeysGoUnderOneHeaderPerSave) {
    const QString header = ConfigFile::newKeysHeader;
    // A file ending in a line feed already has the blank line; one without gets exactly one.
    EXPECT_EQ(rewrite(QStringLiteral("A=1\n"), {{QStringLiteral("Z_KEY"), QStringLiteral("z")},
                                                {QStringLiteral("B_KEY"), QStringLiteral("b c")}}),
              QStringLiteral("A=1\n\n") + header + QStringLiteral("\nB_KEY=\"b c\"\nZ_KEY=z"));
    const QString once =
        rewrite(QStringLiteral("A=1"), {{QStringLiteral("B"), QStringLiteral("2")}});
    EXPECT_EQ(once, QStringLiteral("A=1\n\n") + header + QStringLiteral("\nB=2"));

    // Changing a key the first save added adds no header; a new key adds a second one.
    EXPECT_EQ(rewrite(once, {{QStringLiteral("B"), QStringLiteral("3")}}),
              QStringLiteral("A=1\n\n") + header + QStringLiteral("\nB=3"));
    EXPECT_EQ(rewrite(once, {{QStringLiteral("B"), QStringLiteral("3")},
                             {QStringLiteral("C"), QStringLiteral("4")}}),
              QStringLiteral("A=1\n\n") + header + QStringLiteral("\nB=3\n\n") + header +
                  QStringLiteral("\nC=4"));
}

TEST_F(ConfigFileTest, SavingKeepsTheFinalLineFeedAndTheFileMode) {
    writeText(config.path(), "NVMe=/a\nQUIET_MODE=smart\n\n");
    ::chmod(QFile::encodeName(config.path()).constData(), 0600);
    ASSERT_EQ(config.set({{QStringLiteral("NVMe"), QStringLiteral("/b")}}), std::nullopt);
    EXPECT_EQ(readText(config.path()), "NVMe=\"/b\"\nQUIET_MODE=smart\n\n");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(config.path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(QDir(QFileInfo(config.path()).path()).entryList({QStringLiteral("*.tmp.*")}),
              QStringList());
}

TEST_F(ConfigFileTest, AFailedWriteNamesTheTemporaryFileAndKeepsTheOldText) {
    // Something in the way of `<file>.tmp.<pid>` makes the write fail before the rename.
    const QString temporary = config.path() + QStringLiteral(".tmp.") +
                              QString::number(QCoreApplication::applicationPid());
    ASSERT_TRUE(QDir().mkpath(temporary + QStringLiteral("/occupied")));
    const std::optional<QString> error =
        config.set({{QStringLiteral("NVMe"), QStringLiteral("/elsewhere")}});
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains(temporary)) << error->toStdString();
    EXPECT_EQ(readText(config.path()), kTemplate);
}

TEST_F(ConfigFileTest, ATextThatIsNotUtf8IsReadButNeverRewritten) {
    const QByteArray latin1 = "# K\xf6ln\nNVMe=/media/u/Drive\n";
    writeText(config.path(), latin1);
    EXPECT_EQ(config.value(QStringLiteral("NVMe")), QStringLiteral("/media/u/Drive"));
    EXPECT_TRUE(config.set({{QStringLiteral("NVMe"), QStringLiteral("/x")}}).has_value());
    EXPECT_EQ(RulesBlock::write(config, {}), RulesBlock::readFailure);
    EXPECT_EQ(readText(config.path()), latin1);
}

// The temporary home is private to root; the unprivileged child needs a folder it may write in,
// so that only the file's own mode stands between it and a rewrite.
TEST(ConfigFileAccess, AnUnreadableFileLeavesTheConfigurationUntouched) {
    QTemporaryDir shared(QStringLiteral("/tmp/quindle-config-XXXXXX"));
    ASSERT_TRUE(shared.isValid());
    ::chmod(QFile::encodeName(shared.path()).constData(), 0777);
    const ConfigFile config(shared.filePath(QStringLiteral("quindle.conf")));
    writeText(config.path(), kTemplate);
    ::chmod(QFile::encodeName(config.path()).constData(), 0);

    EXPECT_EQ(test::runUnprivileged([&] {
                  const RuleRecord rule{QStringLiteral("delete_old"), QStringLiteral("/tmp/x"),
                                        QString(), 30, QString()};
                  const bool valueMissing = !config.value(QStringLiteral("NVMe"));
                  const bool setFailed =
                      config.set({{QStringLiteral("NVMe"), QStringLiteral("/y")}}).has_value();
                  const bool rulesRefused =
                      RulesBlock::write(config, {rule}) == RulesBlock::readFailure;
                  const bool rulesUnread = !RulesBlock::read(config);
                  return valueMissing && setFailed && rulesRefused && rulesUnread ? 1 : 0;
              }),
              1);
    EXPECT_EQ(readText(config.path()), kTemplate);
    EXPECT_EQ(QDir(shared.path()).entryList(QDir::Files), QStringList{"quindle.conf"});
}
