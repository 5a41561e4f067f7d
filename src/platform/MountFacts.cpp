#include "platform/MountFacts.h"

#include "platform/VolumeWatcher.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/statvfs.h>

namespace quindle::platform {

std::optional<MountFacts> mountEntryFor(const QByteArray &mountInfo, const QString &resolvedPath) {
    std::optional<MountFacts> best;
    for (const QByteArray &line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 0 || dash + 1 >= fields.size())
            continue;
        const QSet<QString> decoded = MountTableWatcher::mountPoints(line);
        if (decoded.isEmpty())
            continue;
        const QString point = *decoded.cbegin();
        const bool inside = point == QLatin1String("/") || resolvedPath == point ||
                            resolvedPath.startsWith(point + QLatin1Char('/'));
        if (!inside || (best && best->mountPoint.size() > point.size()))
            continue;
        best = MountFacts{point, QString::fromUtf8(fields.at(dash + 1)), false, false};
    }
    return best;
}

std::optional<MountFacts> mountFactsOf(const QString &path) {
    const QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        return std::nullopt;
    struct statvfs facts {};
    if (::statvfs(QFile::encodeName(resolved).constData(), &facts) != 0)
        return std::nullopt;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    MountFacts result;
    if (table.open(QIODevice::ReadOnly))
        if (std::optional<MountFacts> entry = mountEntryFor(table.readAll(), resolved))
            result = *entry;
    result.noexec = (facts.f_flag & ST_NOEXEC) != 0;
    result.noatime = (facts.f_flag & ST_NOATIME) != 0;
    return result;
}

bool lacksUnixPermissions(const QString &fileSystemType) {
    static const QStringList types{QStringLiteral("vfat"),  QStringLiteral("msdos"),
                                   QStringLiteral("exfat"), QStringLiteral("ntfs"),
                                   QStringLiteral("ntfs3"), QStringLiteral("fuseblk")};
    return types.contains(fileSystemType);
}

} // namespace quindle::platform
