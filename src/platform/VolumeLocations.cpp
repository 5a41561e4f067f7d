#include "platform/VolumeLocations.h"

#include "platform/HomeDirectory.h"

#include <QFileInfo>

namespace quindle::platform {

QString volumesRoot() {
    // The service honours the same override.
    if (const QString root = qEnvironmentVariable("QUINDLE_VOLUMES_ROOT"); !root.isEmpty())
        return root;
    const QString user = userName();
    const QString runMedia = QStringLiteral("/run/media/") + user;
    if (QFileInfo(runMedia).isDir())
        return runMedia;
    return QStringLiteral("/media/") + user;
}

QString defaultNVMePath() {
    return volumesRoot() + QStringLiteral("/NVMe");
}

QString defaultAppsRoot() {
    return QStringLiteral("/opt");
}

QStringList defaultAppsRoots() {
    QStringList roots;
    for (const QString &candidate :
         {homePath() + QStringLiteral("/Applications"), homePath() + QStringLiteral("/.local/opt"),
          homePath() + QStringLiteral("/opt"), defaultAppsRoot()})
        if (QFileInfo(candidate).isDir())
            roots << candidate;
    return roots;
}

} // namespace quindle::platform
