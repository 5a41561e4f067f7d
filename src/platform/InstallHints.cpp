#include "platform/InstallHints.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace quindle::platform {

namespace {

QString osReleaseValue(const QString &text, const QString &key) {
    const QRegularExpression line(QStringLiteral("^%1=\"?([^\"\\n]*)\"?$").arg(key),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1).trimmed().toLower();
}

} // namespace

QString installCommandFor(const QString &osReleaseText, const QString &package) {
    QStringList ids{osReleaseValue(osReleaseText, QStringLiteral("ID"))};
    ids += osReleaseValue(osReleaseText, QStringLiteral("ID_LIKE")).split(QLatin1Char(' '));
    for (const QString &id : std::as_const(ids)) {
        if (id == QLatin1String("debian") || id == QLatin1String("ubuntu"))
            return QStringLiteral("sudo apt install ") + package;
        if (id == QLatin1String("fedora") || id == QLatin1String("rhel"))
            return QStringLiteral("sudo dnf install ") + package;
        if (id == QLatin1String("arch"))
            return QStringLiteral("sudo pacman -S ") + package;
        if (id == QLatin1String("suse") || id.startsWith(QLatin1String("opensuse")))
            return QStringLiteral("sudo zypper install ") + package;
    }
    return {};
}

QString installCommand(const QString &package) {
    QFile osRelease(QStringLiteral("/etc/os-release"));
    if (!osRelease.open(QIODevice::ReadOnly))
        return {};
    return installCommandFor(QString::fromUtf8(osRelease.readAll()), package);
}

QString viaPackageManager(const QString &package) {
    const QString command = installCommand(package);
    if (command.isEmpty())
        return QStringLiteral("your package manager");
    return QStringLiteral("your package manager (`%1`)").arg(command);
}

QString runInstallInTerminal(const QString &package) {
    const QString command = installCommand(package);
    if (command.isEmpty())
        return QStringLiteral("Install %1 with your package manager").arg(package);
    return QStringLiteral("Run `%1` in a terminal").arg(command);
}

} // namespace quindle::platform
