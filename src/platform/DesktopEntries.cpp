#include "platform/DesktopEntries.h"

#include "platform/HomeDirectory.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

namespace quindle::platform {

namespace {

// The string escapes of a value: \s \n \t \r \\.
QString unescapeValue(const QString &value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += QLatin1Char('\\');
            out += next;
            break;
        }
    }
    return out;
}

// Name[xx_YY@mod], Name[xx_YY], Name[xx@mod], Name[xx], in that order of preference.
QStringList localeSuffixes(const QString &locale) {
    QString bare = locale.section(QLatin1Char('.'), 0, 0);
    QString modifier;
    if (const qsizetype at = locale.indexOf(QLatin1Char('@')); at >= 0) {
        modifier = locale.mid(at);
        bare = bare.section(QLatin1Char('@'), 0, 0);
    }
    const QString language = bare.section(QLatin1Char('_'), 0, 0);
    const bool hasCountry = bare.contains(QLatin1Char('_'));
    QStringList suffixes;
    if (hasCountry && !modifier.isEmpty())
        suffixes << bare + modifier;
    if (hasCountry)
        suffixes << bare;
    if (!modifier.isEmpty())
        suffixes << language + modifier;
    if (!language.isEmpty() && language != QLatin1String("C") && language != QLatin1String("POSIX"))
        suffixes << language;
    return suffixes;
}

bool isTrue(const QString &value) {
    return value == QLatin1String("true");
}

} // namespace

std::optional<DesktopEntry> parseDesktopEntry(const QByteArray &text, const QString &locale) {
    QHash<QString, QString> keys;
    bool inGroup = false, seenGroup = false;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            seenGroup = seenGroup || inGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || equals < 1)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!keys.contains(key)) // the first of a repeated key counts
            keys.insert(key, unescapeValue(line.mid(equals + 1).trimmed()));
    }
    if (!seenGroup)
        return std::nullopt;
    DesktopEntry entry;
    entry.name = keys.value(QStringLiteral("Name"));
    for (const QString &suffix : localeSuffixes(locale)) {
        const QString key = QStringLiteral("Name[%1]").arg(suffix);
        if (keys.contains(key)) {
            entry.name = keys.value(key);
            break;
        }
    }
    entry.type = keys.value(QStringLiteral("Type"));
    entry.exec = keys.value(QStringLiteral("Exec"));
    entry.tryExec = keys.value(QStringLiteral("TryExec"));
    entry.workingPath = keys.value(QStringLiteral("Path"));
    entry.noDisplay = isTrue(keys.value(QStringLiteral("NoDisplay")));
    entry.hidden = isTrue(keys.value(QStringLiteral("Hidden")));
    return entry;
}

QStringList splitExec(const QString &exec) {
    QStringList words;
    QString word;
    bool inWord = false, quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"'))
                quoted = false;
            else if (c == QLatin1Char('\\') && i + 1 < exec.size())
                word += exec.at(++i);
            else
                word += c;
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char('%') && i + 1 < exec.size()) {
            const QChar code = exec.at(++i);
            if (code == QLatin1Char('%'))
                word += code;
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    // A word that was only a field code is dropped.
    words.removeAll(QString());
    return words;
}

QString execProgram(const QString &exec) {
    QStringList words = splitExec(exec);
    if (!words.isEmpty() && QFileInfo(words.first()).fileName() == QLatin1String("env")) {
        words.removeFirst();
        // The options that take the next word as their value.
        static const QStringList withValue{QStringLiteral("-u"), QStringLiteral("--unset"),
                                           QStringLiteral("-C"), QStringLiteral("--chdir")};
        while (!words.isEmpty() && words.first().startsWith(QLatin1Char('-')))
            if (withValue.contains(words.takeFirst()) && !words.isEmpty())
                words.removeFirst();
    }
    while (!words.isEmpty() && words.first().contains(QLatin1Char('=')) &&
           !words.first().startsWith(QLatin1Char('/')))
        words.removeFirst();
    return words.value(0);
}

QString resolveProgram(const QString &program) {
    if (program.isEmpty())
        return {};
    if (program.startsWith(QLatin1Char('/')))
        return program;
    if (program.contains(QLatin1Char('/')))
        return {};
    return QStandardPaths::findExecutable(program);
}

QStringList applicationsFolders() {
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    QStringList folders{userDataPath() + QStringLiteral("/applications")};
    for (const QString &dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << dir + QStringLiteral("/applications");
    folders.removeDuplicates();
    return folders;
}

QList<DesktopEntry> loadDesktopEntries() {
    const QString locale =
        qEnvironmentVariable("LC_ALL").isEmpty()
            ? (qEnvironmentVariable("LC_MESSAGES").isEmpty() ? qEnvironmentVariable("LANG")
                                                             : qEnvironmentVariable("LC_MESSAGES"))
            : qEnvironmentVariable("LC_ALL");
    QSet<QString> seen;
    QList<DesktopEntry> entries;
    for (const QString &folder : applicationsFolders()) {
        const QDir root(folder);
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = root.relativeFilePath(path);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            std::optional<DesktopEntry> entry = parseDesktopEntry(file.readAll(), locale);
            if (!entry || entry->hidden)
                continue;
            entry->fileID = id;
            entry->filePath = path;
            entries << *entry;
        }
    }
    return entries;
}

} // namespace quindle::platform
