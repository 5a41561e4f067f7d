#include "platform/MountTable.h"

#include "platform/VolumeWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quindle::platform {

bool isMountPoint(const QString &path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    // The mount table lists resolved paths; a link to a mount point is not one.
    return MountTableWatcher::mountPoints(table.readAll()).contains(canonical);
}

} // namespace quindle::platform
