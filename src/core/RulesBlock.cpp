#include "core/RulesBlock.h"

#include "core/ConfigFile.h"
#include "platform/HomeDirectory.h"

#include <QRegularExpression>

namespace quindle {

namespace {

const QString kOpening = QStringLiteral("RULES=(");
const QString kHomeVariable = QStringLiteral("$HOME");
const QString kFieldSeparator = QStringLiteral(" | ");

// Bash variable names are ASCII.
bool isIdentifierCharacter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
}

struct Block {
    qsizetype first = 0;
    qsizetype last = 0;
    QStringList records;
};

// Walks the block the way bash reads the array: records are the double-quoted texts, a `#` that
// starts a word begins a comment, and the first `)` outside quotes closes the block. A block
// appended by hand after another replaces it in bash, so the last one counts.
std::optional<Block> scan(const QStringList &lines) {
    qsizetype opening = -1;
    for (qsizetype i = lines.size() - 1; i >= 0 && opening < 0; --i)
        if (ConfigFile::trimmed(lines.at(i)).startsWith(kOpening))
            opening = i;
    if (opening < 0)
        return std::nullopt;
    Block block{opening, lines.size() - 1, {}};
    for (qsizetype i = opening; i < lines.size(); ++i) {
        const QString text =
            i == opening ? ConfigFile::trimmed(lines.at(i)).mid(kOpening.size()) : lines.at(i);
        bool quoted = false;
        QString record;
        for (qsizetype k = 0; k < text.size(); ++k) {
            const QChar c = text.at(k);
            if (quoted) {
                if (c == QLatin1Char('"')) {
                    block.records << record;
                    record.clear();
                    quoted = false;
                } else {
                    record += c;
                }
            } else if (c == QLatin1Char('"')) {
                quoted = true;
            } else if (c == QLatin1Char(')')) {
                block.last = i;
                return block;
            } else if (c == QLatin1Char('#') && (k == 0 || ConfigFile::isBlank(text.at(k - 1)))) {
                break;
            }
        }
        // An unclosed quote's text is dropped.
    }
    return block;
}

} // namespace

QString RulesBlock::expandHome(const QString &field, const QString &home) {
    static const QString braced = QStringLiteral("${HOME}");
    QString result;
    for (qsizetype i = 0; i < field.size();) {
        const qsizetype after = i + kHomeVariable.size();
        if (QStringView(field).mid(i).startsWith(braced)) {
            result += home;
            i += braced.size();
        } else if (QStringView(field).mid(i).startsWith(kHomeVariable) &&
                   (after == field.size() || !isIdentifierCharacter(field.at(after)))) {
            result += home;
            i = after;
        } else {
            result += field.at(i++);
        }
    }
    return result;
}

namespace {

// Only whole path components: /home/ann must not turn /home/anna into $HOMEa.
QString collapseHome(const QString &field, const QString &home) {
    if (home.isEmpty() || home == QLatin1String("/"))
        return field;
    QString result;
    qsizetype from = 0;
    while (from <= field.size()) {
        const qsizetype at = field.indexOf(home, from);
        if (at < 0)
            break;
        const qsizetype end = at + home.size();
        if (end == field.size() || field.at(end) == QLatin1Char('/')) {
            result += field.mid(from, at - from) + kHomeVariable;
        } else {
            result += field.mid(from, end - from);
        }
        from = end;
    }
    return result + field.mid(from);
}

qint64 parseAge(const QString &text) {
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(text).hasMatch())
        return 0;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? value : 0;
}

// The characters a record cannot carry, by the name a person knows them by.
std::optional<QString> forbiddenCharacter(QChar c) {
    switch (c.unicode()) {
    case '"':
        return QStringLiteral("a double quote");
    case '\\':
        return QStringLiteral("a backslash");
    case '`':
        return QStringLiteral("a backquote");
    case '$':
        return QStringLiteral("a dollar sign");
    case '|':
        return QStringLiteral("a bar (|)");
    case '\t':
        return QStringLiteral("a tab");
    case '\n':
    case '\r':
        return QStringLiteral("a line break");
    default:
        break;
    }
    if (c.category() == QChar::Other_Control)
        return QStringLiteral("the control character U+") +
               QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    return std::nullopt;
}

QStringList fieldsOf(const RuleRecord &record) {
    return {record.action, record.source, record.destination, QString::number(record.ageDays),
            record.extras};
}

} // namespace

std::optional<std::pair<qsizetype, qsizetype>> RulesBlock::find(const QStringList &lines) {
    const std::optional<Block> block = scan(lines);
    if (!block)
        return std::nullopt;
    return std::pair{block->first, block->last};
}

QList<RuleRecord> RulesBlock::parse(const QString &text, const QString &home) {
    QList<RuleRecord> records;
    const std::optional<Block> block = scan(ConfigFile::splitLines(text));
    if (!block)
        return records;
    for (const QString &raw : block->records) {
        QStringList fields = raw.split(QLatin1Char('|'));
        if (fields.size() < 4)
            continue;
        for (QString &field : fields)
            field = ConfigFile::trimmed(field);
        RuleRecord record;
        record.action = fields.at(0);
        record.source = expandHome(fields.at(1), home);
        record.destination = fields.at(2);
        record.ageDays = parseAge(fields.at(3));
        record.extras = fields.size() > 4 ? fields.at(4) : QString();
        records << record;
    }
    return records;
}

QString RulesBlock::recordLine(const RuleRecord &record, const QString &home) {
    QStringList fields = fieldsOf(record);
    for (QString &field : fields)
        field = collapseHome(field, home);
    return QStringLiteral("  \"") + fields.join(kFieldSeparator) + QLatin1Char('"');
}

std::optional<QString> RulesBlock::unwritable(const RuleRecord &record, qsizetype number,
                                              const QString &home) {
    static const QRegularExpression homeVariable(
        QStringLiteral(R"(\$HOME(?![A-Za-z0-9_])|\$\{HOME\})"));
    static const QStringList fieldNames{QStringLiteral("action"), QStringLiteral("source"),
                                        QStringLiteral("destination"), QStringLiteral("age"),
                                        QStringLiteral("extras")};
    const QStringList fields = fieldsOf(record);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const auto refuse = [&](const QString &problem) {
            return QStringLiteral("Rule %1 (%2) was not saved: its %3 %4.")
                .arg(number)
                .arg(record.action.isEmpty() ? QStringLiteral("no action") : record.action,
                     fieldNames.at(i), problem);
        };
        // The block has no escape character, and bash would expand what is left of a `$`.
        const QString &field = fields.at(i);
        QString written = collapseHome(field, home);
        written.remove(homeVariable);
        for (const QChar c : written) {
            if (const std::optional<QString> name = forbiddenCharacter(c))
                return refuse(QStringLiteral("contains %1, which a rule cannot hold").arg(*name));
        }
        // Both readers trim every field.
        if (!field.isEmpty() && (field.front().isSpace() || field.back().isSpace()))
            return refuse(QStringLiteral("begins or ends with a space, which the service would "
                                         "drop"));
    }
    return std::nullopt;
}

QString RulesBlock::rewrite(const QString &text, const QList<RuleRecord> &records,
                            const QString &home) {
    QStringList lines = ConfigFile::splitLines(text);
    QStringList block{kOpening};
    for (const RuleRecord &record : records)
        block << recordLine(record, home);
    block << QStringLiteral(")");
    if (const std::optional<Block> old = scan(lines)) {
        lines = lines.mid(0, old->first) + block + lines.mid(old->last + 1);
    } else {
        if (!lines.constLast().isEmpty())
            lines << QString();
        lines << block;
    }
    return lines.join(QLatin1Char('\n'));
}

std::optional<QList<RuleRecord>> RulesBlock::read(const ConfigFile &config) {
    const ConfigFile::Contents contents = config.read();
    if (contents.state != ConfigFile::Contents::State::Read)
        return std::nullopt;
    return parse(contents.text, platform::homePath());
}

std::optional<QString> RulesBlock::write(const ConfigFile &config,
                                         const QList<RuleRecord> &records) {
    const QString home = platform::homePath();
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (const auto reason = unwritable(records.at(i), i + 1, home))
            return reason;
    }
    const ConfigFile::Contents contents = config.read();
    if (contents.state != ConfigFile::Contents::State::Read || !contents.lossless)
        return readFailure;
    return config.replaceText(rewrite(contents.text, records, home));
}

} // namespace quindle
