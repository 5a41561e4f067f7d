#include "platform/StartupTargets.h"

#include "platform/DesktopEntries.h"
#include "platform/HomeDirectory.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace quindle::platform {

namespace {

QStringList unitFolders() {
    return {userConfigPath() + QStringLiteral("/systemd/user"),
            userDataPath() + QStringLiteral("/systemd/user"),
            QStringLiteral("/etc/systemd/user"),
            QStringLiteral("/usr/lib/systemd/user"),
            QStringLiteral("/etc/systemd/system"),
            QStringLiteral("/usr/lib/systemd/system"),
            QStringLiteral("/lib/systemd/system")};
}

QStringList autostartFolders() {
    QStringList folders{userConfigPath() + QStringLiteral("/autostart")};
    QString configDirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (configDirs.isEmpty())
        configDirs = QStringLiteral("/etc/xdg");
    for (const QString &dir : configDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << dir + QStringLiteral("/autostart");
    return folders;
}

QByteArray contentOf(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(1 << 20) : QByteArray();
}

} // namespace

QStringList unitExecPrograms(const QString &unitText) {
    QStringList programs;
    for (QString line : unitText.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (!line.startsWith(QLatin1String("Exec")))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        QString value = line.mid(equals + 1).trimmed();
        while (!value.isEmpty() && QStringLiteral("@-:+!").contains(value.front()))
            value.remove(0, 1);
        const QString program = splitExec(value).value(0);
        if (!program.isEmpty())
            programs << program;
    }
    return programs;
}

QList<StartupTarget> loadAutostartTargets() {
    QList<StartupTarget> targets;
    for (const QString &folder : unitFolders()) {
        QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QFileInfo info(path);
            // A unit, or a drop-in in <unit>.d/.
            const bool dropIn =
                info.path().endsWith(QLatin1String(".d")) && info.suffix() == QLatin1String("conf");
            if (!dropIn && info.path() != folder)
                continue;
            for (const QString &program : unitExecPrograms(QString::fromUtf8(contentOf(path))))
                targets << StartupTarget{program, info.fileName()};
        }
    }
    for (const QString &folder : autostartFolders()) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files)) {
            const std::optional<DesktopEntry> entry =
                parseDesktopEntry(contentOf(dir.filePath(name)), QString());
            if (!entry || entry->hidden)
                continue;
            if (const QString program = execProgram(entry->exec); !program.isEmpty())
                targets << StartupTarget{program, name};
        }
    }
    return targets;
}

} // namespace quindle::platform
