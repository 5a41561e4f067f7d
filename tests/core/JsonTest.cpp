#include "core/AtomicFile.h"
#include "core/JsonFields.h"
#include "core/JsonFormat.h"
#include "support/TempHome.h"

#include <QDir>
#include <QJsonDocument>

using namespace quindle;

namespace {
QJsonObject parse(const char *json) {
    return QJsonDocument::fromJson(json).object();
}
} // namespace

TEST(JsonFormat, WritesSortedIndentedJson) {
    const QJsonObject object{{"zeta", 1}, {"alpha", "a"}, {"Mid", true}};
    const QByteArray text = canonicalJson(object);
    EXPECT_LT(text.indexOf("\"Mid\""), text.indexOf("\"alpha\""));
    EXPECT_LT(text.indexOf("\"alpha\""), text.indexOf("\"zeta\""));
    EXPECT_TRUE(text.contains("\n    \"alpha\": \"a\""));
}

TEST(JsonFormat, DatesRoundTripAsUtcSeconds) {
    const QDateTime local = QDateTime::fromString("2026-03-01T10:15:30+02:00", Qt::ISODate);
    EXPECT_EQ(isoDate(local), "2026-03-01T08:15:30Z");
    EXPECT_EQ(parseIsoDate("2026-03-01T08:15:30Z"), local);
    EXPECT_EQ(parseIsoDate("2026-03-01T08:15:30.250Z")->time().msec(), 250);
    for (const char *bad :
         {"2026-03-01", "yesterday", "2026-13-01T00:00:00Z", "2026-03-01 08:15:30Z", ""})
        EXPECT_EQ(parseIsoDate(QString::fromUtf8(bad)), std::nullopt) << bad;
    const QDateTime now = nowUtc();
    EXPECT_EQ(parseIsoDate(isoDate(now)), now);
}

TEST(JsonFields, ReportsTheFirstMissingOrMistypedKey) {
    JsonFields missing(parse(R"({"a": 1})"));
    missing.requiredInteger("a");
    missing.requiredString("b");
    missing.requiredBool("c");
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "The key “b” is missing.");

    JsonFields wrong(parse(R"({"n": "12", "f": 1.5, "b": 1})"));
    wrong.requiredInteger("n");
    EXPECT_EQ(wrong.error(), "The key “n” must be an integer.");
    JsonFields fraction(parse(R"({"f": 1.5})"));
    fraction.requiredInteger("f");
    EXPECT_FALSE(fraction.ok());
    JsonFields boolean(parse(R"({"b": 1})"));
    boolean.optionalBool("b");
    EXPECT_EQ(boolean.error(), "The key “b” must be true or false.");
}

TEST(JsonFields, AbsentAndNullOptionalsTakeTheirDefaults) {
    JsonFields fields(parse(R"({"n": null, "s": "x"})"));
    EXPECT_EQ(fields.integerOr("n", 7), 7);
    EXPECT_EQ(fields.integerOr("absent", 3), 3);
    EXPECT_EQ(fields.optionalString("s"), "x");
    EXPECT_EQ(fields.optionalDate("absent"), std::nullopt);
    EXPECT_TRUE(fields.ok());
}

TEST(JsonFields, UnknownEnumStringsAreRejected) {
    enum class Colour { Red };
    const auto parseColour = [](const QString &raw) -> std::optional<Colour> {
        return raw == "red" ? std::optional(Colour::Red) : std::nullopt;
    };
    JsonFields known(parse(R"({"c": "red"})"));
    EXPECT_EQ(known.requiredEnum<Colour>("c", parseColour), Colour::Red);
    JsonFields unknown(parse(R"({"c": "mauve"})"));
    EXPECT_EQ(unknown.enumOr<Colour>("c", Colour::Red, parseColour), std::nullopt);
    EXPECT_EQ(unknown.error(), "The key “c” has the unknown value “mauve”.");
    JsonFields absent(parse("{}"));
    EXPECT_EQ(absent.enumOr<Colour>("c", Colour::Red, parseColour), Colour::Red);
}

class AtomicFile : public test::TempHomeTest {};

TEST_F(AtomicFile, ReplacesWholeAndKeepsTheOldFileOnFailure) {
    const QString path = inHome("file.json");
    ASSERT_EQ(writeFileAtomically(path, "one"), std::nullopt);
    ASSERT_EQ(writeFileAtomically(path, "two"), std::nullopt);
    EXPECT_EQ(readWholeFile(path), QByteArray("two"));
    EXPECT_EQ(QDir(home()).entryList(QDir::Files), QStringList{"file.json"}); // no temporary left

    EXPECT_NE(writeFileAtomically(inHome("missing/folder/file.json"), "x"), std::nullopt);
    EXPECT_EQ(readWholeFile(inHome("missing/folder/file.json")), std::nullopt);
}
