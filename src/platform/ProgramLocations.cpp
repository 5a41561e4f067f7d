#include "platform/ProgramLocations.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace quindle::platform {

QStringList rsyncCandidates() {
    // QUINDLE_RSYNC (colon-separated paths) replaces the list: a way to try another build, and
    // how tests stand in for machines with a missing or foreign rsync.
    const QString override = qEnvironmentVariable("QUINDLE_RSYNC");
    if (!override.isEmpty())
        return override.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return {QStringLiteral("/usr/local/bin/rsync"), QStringLiteral("/usr/bin/rsync")};
}

QString findRclone() {
    if (const QString override = qEnvironmentVariable("QUINDLE_RCLONE"); !override.isEmpty()) {
        const QFileInfo info(override);
        return info.isFile() && info.isExecutable() ? override : QString();
    }
    for (const QString &candidate :
         {QStringLiteral("/usr/local/bin/rclone"), QStringLiteral("/usr/bin/rclone")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return candidate;
    }
    return QStandardPaths::findExecutable(QStringLiteral("rclone"));
}

QString duExecutable() {
    return QStringLiteral("/usr/bin/du");
}

QString tarExecutable() {
    return QStringLiteral("/bin/tar");
}

QString rmExecutable() {
    return QStringLiteral("/bin/rm");
}

QString bashExecutable() {
    return QStringLiteral("/bin/bash");
}

} // namespace quindle::platform
