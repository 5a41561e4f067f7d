#include "core/PathText.h"

#include "platform/HomeDirectory.h"

namespace quindle {

QString tildePath(const QString &path) {
    return tildePath(path, platform::homePath());
}

QString tildePath(const QString &path, const QString &home) {
    if (home.isEmpty() || home == QLatin1String("/"))
        return path;
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

QString homeExpanded(const QString &typed) {
    if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/")))
        return platform::homePath() + typed.mid(1);
    return typed;
}

} // namespace quindle
