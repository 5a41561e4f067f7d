#include "mover/SymlinkPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace quindle {

bool pathIsSymbolicLink(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::optional<QByteArray> linkBytes(const QByteArray &encodedPath) {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(encodedPath.constData(), buffer, sizeof buffer);
    if (length < 0)
        return std::nullopt;
    return QByteArray(buffer, static_cast<qsizetype>(length));
}

std::optional<QString> resolveSymlinkTargetAbsolute(const QString &path) {
    if (!pathIsSymbolicLink(path))
        return std::nullopt;
    const std::optional<QByteArray> bytes = linkBytes(QFile::encodeName(path));
    if (!bytes)
        return std::nullopt;
    QString target = QFile::decodeName(*bytes);
    if (!target.startsWith(QLatin1Char('/')))
        target = QFileInfo(path).path() + QLatin1Char('/') + target;
    return QDir::cleanPath(target);
}

bool pathsResolveSame(const QString &a, const QString &b) {
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}

} // namespace quindle
