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

} // namespace quindle::platform
