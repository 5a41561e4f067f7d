#include "platform/AutostartEntry.h"

#include "platform/ServiceLocations.h"
#include "platform/WholeFile.h"

#include <QFile>

namespace quindle::platform {

namespace {

// The characters a desktop entry reserves in Exec arguments.
bool needsDesktopQuoting(const QString &argument) {
    if (argument.isEmpty())
        return true;
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (const QChar c : argument)
        if (reserved.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

// The string escapes every desktop-entry value goes through.
QString desktopEntryString(const QString &value) {
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    if (out.startsWith(QLatin1Char(' ')))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

} // namespace

QString desktopExecArgument(const QString &argument) {
    QString out;
    if (needsDesktopQuoting(argument)) {
        out = QStringLiteral("\"");
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            out += c;
        }
        out += QLatin1Char('"');
    } else {
        out = argument;
    }
    return out.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

QString autostartEntryText(const AutostartEntry &entry) {
    QStringList exec;
    for (const QString &argument : entry.command)
        exec << desktopExecArgument(argument);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=%2\n"
                          "Exec=%3\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(desktopEntryString(entry.name), desktopEntryString(entry.comment),
             desktopEntryString(exec.join(QLatin1Char(' '))));
}

QString autostartEntryFile(const QString &fileName) {
    return autostartDirectory() + QLatin1Char('/') + fileName;
}

std::optional<QString> writeAutostartEntry(const QString &fileName, const AutostartEntry &entry) {
    return writeWholeFile(autostartEntryFile(fileName), autostartEntryText(entry));
}

std::optional<QString> removeAutostartEntry(const QString &fileName) {
    QFile file(autostartEntryFile(fileName));
    if (!file.exists() || file.remove())
        return std::nullopt;
    return QStringLiteral("Could not remove %1: %2").arg(file.fileName(), file.errorString());
}

bool autostartEntryEnabled(const QString &fileName) {
    QFile file(autostartEntryFile(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inMainGroup = false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

} // namespace quindle::platform
