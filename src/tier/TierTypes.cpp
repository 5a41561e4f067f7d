#include "tier/TierTypes.h"

namespace quindle {

namespace {

// The part after "remote:" of a cloud path; the whole path for a local one.
qsizetype insideStart(const QString &path) {
    return isCloudPath(path) ? path.indexOf(QLatin1Char(':')) + 1 : 0;
}

} // namespace

QString sideName(Side side) {
    return side == Side::Left ? QStringLiteral("left") : QStringLiteral("right");
}

bool isCloudPath(const QString &path) {
    return !path.startsWith(QLatin1Char('/')) && path.indexOf(QLatin1Char(':'), 1) > 0;
}

QString lastPathComponent(const QString &path) {
    const qsizetype start = insideStart(path);
    QString inside = path.mid(start);
    while (inside.endsWith(QLatin1Char('/')))
        inside.chop(1);
    return inside.mid(inside.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentPath(const QString &path) {
    const qsizetype start = insideStart(path);
    QString inside = path.mid(start);
    while (inside.size() > 1 && inside.endsWith(QLatin1Char('/')))
        inside.chop(1);
    if (inside.isEmpty() || inside == QLatin1String("/"))
        return QString();
    const qsizetype slash = inside.lastIndexOf(QLatin1Char('/'));
    const QString parent = slash < 0    ? QString()
                           : slash == 0 ? QStringLiteral("/")
                                        : inside.left(slash);
    if (start == 0 && parent.isEmpty())
        return QString(); // a relative local path has no parent we could show
    return path.left(start) + parent;
}

QString childPath(const QString &path, const QString &name) {
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char(':')))
        return path + name;
    return path + QLatin1Char('/') + name;
}

bool isWithin(const QString &path, const QString &root) {
    if (path == root)
        return true;
    return path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

} // namespace quindle
