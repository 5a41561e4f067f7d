#include "core/ConfigFile.h"

#include "core/StatePaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace quindle {

namespace {

bool isKeyCharacter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
}

bool isBareCharacter(QChar c) {
    return isKeyCharacter(c) || c == QLatin1Char('.');
}

bool startsAndEndsWith(const QString &value, QChar quote) {
    return value.size() >= 2 && value.startsWith(quote) && value.endsWith(quote);
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Where a comment begins in what follows `KEY=`: at a "#" starting a word outside quotes, as bash
// reads it. The blanks before it go with the comment.
qsizetype commentStart(const QString &raw) {
    QChar quote;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else if (c == QLatin1Char('\\') && quote == QLatin1Char('"'))
                ++i;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('\\')) {
            ++i;
        } else if (c == QLatin1Char('#') && i > 0 && ConfigFile::isBlank(raw.at(i - 1))) {
            qsizetype start = i;
            while (start > 0 && ConfigFile::isBlank(raw.at(start - 1)))
                --start;
            return start;
        }
    }
    return raw.size();
}

} // namespace

ConfigFile::ConfigFile()
    : m_path(paths::configFile()) {}

bool ConfigFile::isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString ConfigFile::trimmed(const QString &line) {
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line.at(begin)))
        ++begin;
    while (end > begin && isBlank(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

QStringList ConfigFile::splitLines(const QString &text) {
    return text.split(QLatin1Char('\n'));
}

bool ConfigFile::isValidKey(const QString &key) {
    if (key.isEmpty() || (key.front() >= QLatin1Char('0') && key.front() <= QLatin1Char('9')))
        return false;
    return std::all_of(key.cbegin(), key.cend(), isKeyCharacter);
}

std::optional<std::pair<QString, QString>> ConfigFile::parse(const QString &line) {
    auto assignment = parseRaw(line);
    if (!assignment)
        return std::nullopt;
    QString &value = assignment->second;
    if (startsAndEndsWith(value, QLatin1Char('"')) || startsAndEndsWith(value, QLatin1Char('\'')))
        value = value.mid(1, value.size() - 2);
    return assignment;
}

QString ConfigFile::unquote(const QString &written) {
    if (startsAndEndsWith(written, QLatin1Char('\'')))
        return written.mid(1, written.size() - 2);
    const bool doubleQuoted = startsAndEndsWith(written, QLatin1Char('"'));
    const QString inner = doubleQuoted ? written.mid(1, written.size() - 2) : written;
    // Between double quotes a backslash only escapes these; outside quotes it escapes anything.
    static const QString escapable = QStringLiteral("\\\"$`");
    QString value;
    for (qsizetype i = 0; i < inner.size(); ++i) {
        const QChar c = inner.at(i);
        if (c == QLatin1Char('\\') && i + 1 < inner.size() &&
            (!doubleQuoted || escapable.contains(inner.at(i + 1))))
            value += inner.at(++i);
        else
            value += c;
    }
    return value;
}

std::optional<std::pair<QString, QString>> ConfigFile::parseRaw(const QString &line) {
    QString rest = line;
    if (rest.startsWith(QLatin1String("export ")))
        rest.remove(0, 7);
    const qsizetype equals = rest.indexOf(QLatin1Char('='));
    if (equals < 0)
        return std::nullopt;
    const QString key = trimmed(rest.left(equals));
    const QString raw = rest.mid(equals + 1);
    if (raw.startsWith(QLatin1Char('(')))
        return std::nullopt; // arrays have readers of their own
    const QString value = trimmed(raw.left(commentStart(raw)));
    if (key.isEmpty() || !std::all_of(key.cbegin(), key.cend(), isKeyCharacter))
        return std::nullopt;
    return std::pair{key, value};
}

QString ConfigFile::quote(const QString &value) {
    if (value.isEmpty())
        return QStringLiteral("\"\"");
    if (std::all_of(value.cbegin(), value.cend(), isBareCharacter))
        return value;
    // Between double quotes bash would still expand these; single quotes keep them literal.
    if (value.contains(QLatin1Char('$')) || value.contains(QLatin1Char('`')))
        return QLatin1Char('\'') + value + QLatin1Char('\'');
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

std::optional<QString> ConfigFile::unwritable(const QString &value) {
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
        return QStringLiteral("it contains a line break, and every setting must stay on one line");
    if (value.contains(QChar(0)))
        return QStringLiteral("it contains a NUL character, which a shell cannot hold");
    if (value.contains(QLatin1Char('\'')) &&
        (value.contains(QLatin1Char('$')) || value.contains(QLatin1Char('`'))))
        return QStringLiteral("it contains a single quote together with “$” or a backquote, "
                              "which the service's shell would expand");
    return std::nullopt;
}

QString ConfigFile::rewrite(const QString &text, const std::map<QString, QString> &updates) {
    QStringList lines = splitLines(text);
    std::map<QString, QString> pending = updates;
    for (QString &line : lines) {
        const QString content = trimmed(line);
        if (content.isEmpty() || content.startsWith(QLatin1Char('#')))
            continue;
        const auto assignment = parse(content);
        if (!assignment)
            continue;
        const auto found = updates.find(assignment->first);
        if (found == updates.end())
            continue;
        // Every assignment of the key changes, since bash keeps the last; what the person wrote
        // around the value (indentation, "export", a comment) stays.
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString raw = line.mid(equals + 1);
        line = line.left(equals + 1) + quote(found->second) + raw.mid(commentStart(raw));
        pending.erase(found->first);
    }
    if (!pending.empty()) {
        if (!lines.constLast().isEmpty())
            lines.append(QString());
        lines.append(newKeysHeader);
        for (const auto &[key, value] : pending)
            lines.append(key + QLatin1Char('=') + quote(value));
    }
    // People append to the file by hand (`echo KEY=1 >> quindle.conf`): the last line must end.
    QString rewritten = lines.join(QLatin1Char('\n'));
    if (!rewritten.isEmpty() && !rewritten.endsWith(QLatin1Char('\n')))
        rewritten += QLatin1Char('\n');
    return rewritten;
}

ConfigFile::Contents ConfigFile::read() const {
    Contents contents;
    QFile file(m_path);
    if (!file.exists())
        return contents;
    contents.state = Contents::State::Failed;
    if (!file.open(QIODevice::ReadOnly)) {
        contents.error = QStringLiteral("Couldn't read %1: %2.").arg(m_path, file.errorString());
        return contents;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        contents.error = QStringLiteral("Couldn't read %1: %2.").arg(m_path, file.errorString());
        return contents;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    contents.text = decoder.decode(bytes);
    if (decoder.hasError()) {
        // Readable, but a rewrite would replace the undecodable bytes.
        contents.error = QStringLiteral("%1 is not UTF-8 text.").arg(m_path);
        contents.lossless = false;
    }
    contents.state = Contents::State::Read;
    return contents;
}

namespace {

// The value bash ends with for each key, the last assignment's, exactly as written.
std::map<QString, QString> lastAssignments(const QString &text) {
    std::map<QString, QString> assignments;
    for (const QString &line : ConfigFile::splitLines(text)) {
        const QString content = ConfigFile::trimmed(line);
        if (content.isEmpty() || content.startsWith(QLatin1Char('#')))
            continue;
        if (const auto assignment = ConfigFile::parseRaw(content))
            assignments.insert_or_assign(assignment->first, assignment->second);
    }
    return assignments;
}

} // namespace

std::optional<QString> ConfigFile::written(const QString &key) const {
    const Contents contents = read();
    if (contents.state != Contents::State::Read)
        return std::nullopt;
    const std::map<QString, QString> assignments = lastAssignments(contents.text);
    const auto found = assignments.find(key);
    return found == assignments.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::map<QString, QString>> ConfigFile::values() const {
    const Contents contents = read();
    if (contents.state != Contents::State::Read)
        return std::nullopt;
    std::map<QString, QString> values = lastAssignments(contents.text);
    for (auto &[key, value] : values)
        value = unquote(value);
    return values;
}

std::optional<QString> ConfigFile::value(const QString &key) const {
    const std::optional<QString> raw = written(key);
    if (!raw)
        return std::nullopt;
    return parse(key + QLatin1Char('=') + *raw)->second;
}

std::optional<QString> ConfigFile::set(const std::map<QString, QString> &updates) const {
    for (const auto &[key, value] : updates) {
        if (!isValidKey(key))
            return QStringLiteral("“%1” is not a valid configuration key.").arg(key);
        if (const auto reason = unwritable(value))
            return QStringLiteral("The value for %1 was not saved: %2.").arg(key, *reason);
    }
    if (updates.empty())
        return std::nullopt;
    const Contents contents = read();
    // A file that exists but cannot be read is left alone: rewriting it as empty would lose
    // every other setting in it.
    if (contents.state == Contents::State::Failed)
        return contents.error;
    if (!contents.lossless)
        return contents.error;
    return replaceText(rewrite(contents.text, updates));
}

std::optional<QString> ConfigFile::replaceText(const QString &text) const {
    const QFileInfo target(m_path);
    QDir().mkpath(target.absolutePath());
    const QString temporary =
        m_path + QStringLiteral(".tmp.") + QString::number(QCoreApplication::applicationPid());
    QFile file(temporary);
    const auto fail = [&](const QString &reason) {
        file.close();
        QFile::remove(temporary);
        return std::optional<QString>(
            QStringLiteral("Couldn't write %1: %2.").arg(temporary, reason));
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(file.errorString());
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush())
        return fail(file.errorString());
    if (::fsync(file.handle()) != 0)
        return fail(systemError());
    // Hand edits may have narrowed who can read the file; the new text keeps that.
    if (target.exists())
        file.setPermissions(QFile::permissions(m_path));
    file.close();
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(m_path).constData()) != 0) {
        const QString reason = systemError();
        QFile::remove(temporary);
        return QStringLiteral("Couldn't replace %1: %2.").arg(m_path, reason);
    }
    return std::nullopt;
}

} // namespace quindle
