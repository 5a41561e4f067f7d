#include "mover/PathOverlap.h"

#include "core/NVMeMount.h"
#include "core/ResolvedPath.h"
#include "mover/SymlinkPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace quindle {

namespace {

struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity &) const = default;
};

std::optional<Identity> identityOf(const QString &path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return Identity{info.st_dev, info.st_ino};
}

QString parentOf(const QString &path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

// True when `path` or any folder above it is the file `wanted`: a bind mount of the source
// somewhere else has other paths but the same identity.
bool identityOnPath(const QString &resolved, const Identity &wanted) {
    for (QString at = resolved;; at = parentOf(at)) {
        if (identityOf(at) == wanted)
            return true;
        if (at == QLatin1String("/"))
            return false;
    }
}

bool isFolder(const QString &path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::optional<QString> resolvedLinkTarget(const QString &path) {
    const std::optional<QByteArray> target = linkBytes(QFile::encodeName(path));
    if (!target)
        return std::nullopt;
    QString text = QFile::decodeName(*target);
    if (!text.startsWith(QLatin1Char('/')))
        text = resolvedPath(parentOf(QFileInfo(path).absoluteFilePath())) + QLatin1Char('/') + text;
    return resolvedPath(text);
}

std::optional<QString> overlapRefusal(const QString &src, const QString &finalDst) {
    const std::optional<Identity> source = identityOf(src);
    if (!source)
        return std::nullopt;
    const bool folder = isFolder(src);
    const QString from = resolvedPath(src);
    const QString to = resolvedPath(finalDst);
    const std::optional<Identity> destination = identityOf(finalDst);

    if (from == to || destination == source)
        return folder ? QStringLiteral("The destination %2 is the folder %1 itself; moving it "
                                       "there would delete it.")
                            .arg(src, finalDst)
                      : QStringLiteral("The destination %2 is the file %1 itself; moving it there "
                                       "would delete it.")
                            .arg(src, finalDst);
    if (isSameOrInside(to, from) || identityOnPath(to, *source))
        return folder ? QStringLiteral("The destination %2 is inside %1; a folder cannot be moved "
                                       "into itself.")
                            .arg(src, finalDst)
                      : QStringLiteral("%1 is a file, so the destination %2 cannot be inside it.")
                            .arg(src, finalDst);
    if (isSameOrInside(from, to) || (destination && identityOnPath(from, *destination)))
        return QStringLiteral("The destination %2 contains %1; moving it there would overwrite "
                              "it.")
            .arg(src, finalDst);
    return std::nullopt;
}

} // namespace quindle
