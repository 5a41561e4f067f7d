#include "platform/HomeDirectory.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

namespace quindle::platform {

namespace {

const passwd *currentUserEntry() {
    return getpwuid(getuid());
}

QString xdgOrDefault(const char *variable, const QString &fallbackSuffix) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return homePath() + fallbackSuffix;
}

} // namespace

QString homePath() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    if (const passwd *entry = currentUserEntry(); entry && entry->pw_dir)
        return QDir::cleanPath(QString::fromLocal8Bit(entry->pw_dir));
    return QDir::rootPath();
}

QString userName() {
    const QString user = qEnvironmentVariable("USER");
    if (!user.isEmpty())
        return user;
    if (const passwd *entry = currentUserEntry(); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(getuid());
}

QString userConfigPath() {
    return xdgOrDefault("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString userDataPath() {
    return xdgOrDefault("XDG_DATA_HOME", QStringLiteral("/.local/share"));
}

QString userTrashPath() {
    return userDataPath() + QStringLiteral("/Trash");
}

} // namespace quindle::platform
