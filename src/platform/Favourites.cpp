#include "platform/Favourites.h"

#include "platform/ChildProcess.h"
#include "platform/HomeDirectory.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <chrono>

namespace quindle::platform {

namespace {

using namespace std::chrono_literals;

QString withoutDesktopSuffix(const QString &id) {
    return id.endsWith(QLatin1String(".desktop")) ? id.chopped(8) : id;
}

} // namespace

QStringList parseGVariantStrings(const QString &text) {
    QStringList strings;
    QString current;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quote.isNull()) {
            if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                quote = c;
                current.clear();
            }
            continue;
        }
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            current += text.at(++i);
        } else if (c == quote) {
            strings << current;
            quote = QChar();
        } else {
            current += c;
        }
    }
    return strings;
}

QStringList plasmaLaunchers(const QString &appletsText) {
    QStringList ids;
    for (const QString &line : appletsText.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("launchers=")))
            continue;
        for (const QString &launcher : line.mid(10).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (launcher.startsWith(QLatin1String("applications:")))
                ids << launcher.mid(13).trimmed();
            else if (launcher.startsWith(QLatin1String("file://")) &&
                     launcher.endsWith(QLatin1String(".desktop")))
                ids << QFileInfo(launcher.mid(7)).fileName();
        }
    }
    return ids;
}

QSet<QString> favouriteAppIDs() {
    QSet<QString> ids;
    if (const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
        !gsettings.isEmpty()) {
        for (const char *schema : {"org.gnome.shell", "org.cinnamon"}) {
            ChildCommand command(gsettings, {QStringLiteral("get"), QString::fromLatin1(schema),
                                             QStringLiteral("favorite-apps")});
            command.deadline = 5s;
            const ChildResult result = ChildProcess::run(command);
            if (result.succeeded())
                for (const QString &id : parseGVariantStrings(QString::fromUtf8(result.output)))
                    ids.insert(withoutDesktopSuffix(id));
        }
    }
    QFile applets(userConfigPath() + QStringLiteral("/plasma-org.kde.plasma.desktop-appletsrc"));
    if (applets.open(QIODevice::ReadOnly))
        for (const QString &id : plasmaLaunchers(QString::fromUtf8(applets.readAll())))
            ids.insert(withoutDesktopSuffix(id));
    return ids;
}

} // namespace quindle::platform
