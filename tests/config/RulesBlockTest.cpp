#include "core/RulesBlock.h"
#include "config/BashReader.h"
#include "core/ConfigFile.h"
#include "core/StatePaths.h"
#include "support/TempHome.h"

using namespace quindle;
using test::readText;
using test::writeText;

namespace {

RuleRecord rule(const QString &action, const QString &source, const QString &destination,
                qint64 age, const QString &extras = {}) {
    return {action, source, destination, age, extras};
}

} // namespace

class RulesBlockTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        config = ConfigFile();
    }
    QString rulesOf(const QString &text) const {
        QStringList lines;
        for (const RuleRecord &r : RulesBlock::parse(text, home()))
            lines << QStringLiteral("%1|%2|%3|%4|%5")
                         .arg(r.action, r.source, r.destination)
                         .arg(r.ageDays)
                         .arg(r.extras);
        return lines.join(QLatin1Char('\n'));
    }
    ConfigFile config{QString()};
};

TEST_F(RulesBlockTest, SavingIntoTheTemplateReplacesOnlyItsRulesLine) {
    const QByteArray before = "# Quindle configuration\nNVMe=\"/media/u/NVMe\"\n"
                              "MIN_AGE_HARD_FLOOR_DAYS=7\n";
    const QByteArray after = "APP_CACHE_PATHS=()\nAPP_CACHE_SAFE_DIRS=()\n# mine\n";
    writeText(config.path(), before + "RULES=()\n" + after);
    const QList<RuleRecord> rules{
        rule(QStringLiteral("archive_old"), home() + QStringLiteral("/Downloads"),
             QStringLiteral("/media/u/NVMe/Archive"), 30),
        rule(QStringLiteral("archive_big"), home() + QStringLiteral("/Movies and TV"),
             QStringLiteral("/media/u/NVMe/Big Files"), 14, QStringLiteral("500M")),
    };

    ASSERT_EQ(RulesBlock::write(config, rules), std::nullopt);
    EXPECT_EQ(readText(config.path()),
              before +
                  "RULES=(\n"
                  "  \"archive_old | $HOME/Downloads | /media/u/NVMe/Archive | 30 | \"\n"
                  "  \"archive_big | $HOME/Movies and TV | /media/u/NVMe/Big Files | 14 | 500M\"\n"
                  ")\n" +
                  after);
    EXPECT_EQ(RulesBlock::read(config), rules);

    const test::Sourced sourced =
        test::sourceWithBash(config.path(), {QStringLiteral("NVMe")},
                             {QStringLiteral("RULES"), QStringLiteral("APP_CACHE_PATHS")});
    ASSERT_EQ(sourced.status, 0) << sourced.errors.toStdString();
    EXPECT_EQ(
        sourced.arrays.value(QStringLiteral("RULES")),
        QStringList({QStringLiteral("archive_old | %1/Downloads | /media/u/NVMe/Archive | 30 | ")
                         .arg(home()),
                     QStringLiteral("archive_big | %1/Movies and TV | /media/u/NVMe/Big "
                                    "Files | 14 | 500M")
                         .arg(home())}));
    EXPECT_EQ(sourced.arrays.value(QStringLiteral("APP_CACHE_PATHS")), QStringList());
    EXPECT_EQ(sourced.scalars.value(QStringLiteral("NVMe")), QStringLiteral("/media/u/NVMe"));

    // Saving again replaces the multi-line block with itself.
    ASSERT_EQ(RulesBlock::write(config, {}), std::nullopt);
    EXPECT_EQ(readText(config.path()), before + "RULES=(\n)\n" + after);
}

TEST_F(RulesBlockTest, AFourFieldRecordComesBackWithFiveFieldsAndHomeAsAVariable) {
    writeText(config.path(),
              "RULES=(\"archive_old | $HOME/Documents/Old | /media/u/NVMe/Old | 30\")\nX=1");
    const std::optional<QList<RuleRecord>> rules = RulesBlock::read(config);
    ASSERT_TRUE(rules.has_value());
    ASSERT_EQ(rules->size(), 1);
    EXPECT_EQ(rules->first(),
              rule(QStringLiteral("archive_old"), home() + QStringLiteral("/Documents/Old"),
                   QStringLiteral("/media/u/NVMe/Old"), 30));
    EXPECT_EQ(ruleActionLabel(rules->first().action), QStringLiteral("Move (by age)"));

    ASSERT_EQ(RulesBlock::write(config, *rules), std::nullopt);
    EXPECT_EQ(
        readText(config.path()),
        "RULES=(\n  \"archive_old | $HOME/Documents/Old | /media/u/NVMe/Old | 30 | \"\n)\nX=1");
}

TEST_F(RulesBlockTest, BlockGrammar) {
    // Comments, blank lines and records with too few fields are passed over; ages that are not
    // numbers read as 0; an unclosed quote is dropped.
    EXPECT_EQ(rulesOf(QStringLiteral("A=1\n"
                                     "RULES=(\n"
                                     "  # \"delete_old | /commented | | 1\"\n"
                                     "\n"
                                     "  \"delete_old|$HOME/Downloads|  |+14|x\"  # keep\n"
                                     "  \"archive_old | /a | /b\"\n"
                                     "  \"archive_big | /c | /d | soon | 1G | ignored\"\n"
                                     "  \"app_cache_clean | | | -3\" \"delete_old | /e | | 5\n"
                                     ")\n"
                                     "OTHER=(\"delete_old | /not/rules | | 1\")\n")),
              QStringLiteral("delete_old|%1/Downloads||14|x\n"
                             "archive_big|/c|/d|0|1G\n"
                             "app_cache_clean|||-3|")
                  .arg(home()));
    // A closing parenthesis inside a record does not end a single-line block.
    EXPECT_EQ(
        rulesOf(
            QStringLiteral("RULES=( \"archive_old | $HOME/Photos (2019) | /n | 30\" \"delete_old | "
                           "${HOME}/tmp | | 7\" )")),
        QStringLiteral("archive_old|%1/Photos (2019)|/n|30|\ndelete_old|%1/tmp||7|").arg(home()));
    // $HOMEX is another variable; only $HOME itself is the home folder.
    EXPECT_EQ(rulesOf(QStringLiteral("RULES=(\"delete_old | $HOMEX/a | | 1\")")),
              QStringLiteral("delete_old|$HOMEX/a||1|"));
    EXPECT_EQ(rulesOf(QStringLiteral("NVMe=/x\n# RULES=(\"delete_old | /a | | 1\")")), QString());
}

TEST_F(RulesBlockTest, WithoutABlockOneIsAppendedAfterABlankLine) {
    const QList<RuleRecord> rules{
        rule(QStringLiteral("delete_old"), home() + QStringLiteral("/tmp"), QString(), 7)};
    EXPECT_EQ(RulesBlock::rewrite(QStringLiteral("A=1"), rules, home()),
              QStringLiteral("A=1\n\nRULES=(\n  \"delete_old | $HOME/tmp |  | 7 | \"\n)"));
    EXPECT_EQ(RulesBlock::rewrite(QStringLiteral("A=1\n"), rules, home()),
              QStringLiteral("A=1\n\nRULES=(\n  \"delete_old | $HOME/tmp |  | 7 | \"\n)"));
}

TEST_F(RulesBlockTest, OnlyTheHomeFolderItselfBecomesHomeAndBashAgrees) {
    // A sibling whose name starts like the home folder stays as it is.
    const QString sibling = home() + QStringLiteral("-backup/x");
    const QList<RuleRecord> rules{
        rule(QStringLiteral("archive_old"), sibling, home() + QStringLiteral("/Archive"), 30),
        rule(QStringLiteral("archive_old"), home(), QStringLiteral("/n/ü é"), 30),
    };
    writeText(config.path(), "RULES=()");
    ASSERT_EQ(RulesBlock::write(config, rules), std::nullopt);
    const QString text = QString::fromUtf8(readText(config.path()));
    EXPECT_TRUE(
        text.contains(QStringLiteral("| ") + sibling + QStringLiteral(" | $HOME/Archive |")))
        << text.toStdString();

    const test::Sourced sourced =
        test::sourceWithBash(config.path(), {}, {QStringLiteral("RULES")});
    ASSERT_EQ(sourced.status, 0) << sourced.errors.toStdString();
    EXPECT_EQ(
        sourced.arrays.value(QStringLiteral("RULES")),
        QStringList({QStringLiteral("archive_old | %1 | %2/Archive | 30 | ").arg(sibling, home()),
                     QStringLiteral("archive_old | %1 | /n/ü é | 30 | ").arg(home())}));
    // The application reads its own writing back (destinations keep $HOME as written).
    const QList<RuleRecord> reread = RulesBlock::read(config).value_or(QList<RuleRecord>());
    ASSERT_EQ(reread.size(), 2);
    EXPECT_EQ(reread.at(0).source, sibling);
    EXPECT_EQ(reread.at(1).source, home());
    EXPECT_EQ(RulesBlock::rewrite(text, reread, home()), text);
}

TEST_F(RulesBlockTest, RecordsBashWouldReadDifferentlyAreRefused) {
    const QByteArray original = "RULES=()\n";
    writeText(config.path(), original);
    for (const QString &source :
         {QStringLiteral("/a \"quoted\""), QStringLiteral("/cost$5"), QStringLiteral("/`id`"),
          QStringLiteral("/a|b"), QStringLiteral("/back\\slash"), QStringLiteral("/two\nlines"),
          QStringLiteral("$HOMEX/a")}) {
        const std::optional<QString> error =
            RulesBlock::write(config, {rule(QStringLiteral("delete_old"), source, QString(), 9)});
        ASSERT_TRUE(error.has_value()) << source.toStdString();
        EXPECT_TRUE(error->startsWith(QStringLiteral("The rule “delete_old” was not saved")));
    }
    EXPECT_EQ(readText(config.path()), original);
    // $HOME that the reader left in a destination is written back as it came.
    EXPECT_EQ(RulesBlock::write(config, {rule(QStringLiteral("archive_old"), QStringLiteral("/a"),
                                              QStringLiteral("$HOME/b"), 1)}),
              std::nullopt);
}

TEST_F(RulesBlockTest, AMissingFileIsNotReadAndNotWritten) {
    EXPECT_EQ(RulesBlock::read(config), std::nullopt);
    EXPECT_EQ(RulesBlock::write(config, {}), RulesBlock::readFailure);
    EXPECT_FALSE(QFileInfo::exists(config.path()));
}
