#include "core/StatePaths.h"

#include "platform/HomeDirectory.h"

#include <QDir>
#include <QFileInfo>

namespace quindle::paths {

namespace {

QString inQuindle(const char *name) {
    return quindleDirectory() + QLatin1Char('/') + QLatin1String(name);
}

QString inState(const char *name) {
    return stateDirectory() + QLatin1Char('/') + QLatin1String(name);
}

} // namespace

QString quindleDirectory() {
    return platform::homePath() + QStringLiteral("/.quindle");
}
QString stateDirectory() {
    return inQuindle("state");
}

QString configFile() {
    return inQuindle("quindle.conf");
}
QString serviceScript() {
    return inQuindle("quindle.sh");
}
bool serviceInstalled() {
    return QFileInfo::exists(serviceScript());
}
QString rcloneHelperScript() {
    return inQuindle("rclone-helper.sh");
}

QString serviceLog() {
    return inQuindle("quindle.log");
}
QString serviceOutputLog() {
    return inQuindle("quindle.launchd.log");
}
QString syncDirectory() {
    return inQuindle("sync");
}
QString statusFile() {
    return inState("status.json");
}

QString historyFile() {
    return inState("history.ndjson");
}
QString lastFreeSpaceFile() {
    return inState("last-free-space.txt");
}
QString passLockFile() {
    return inState("service/pass.lock");
}

QString folderMovesDirectory() {
    return inState("folder-moves");
}
QString appMovesDirectory() {
    return inState("app-moves");
}
QString movedAppsFile() {
    return inState("moved-apps.json");
}
QString recentPairsFile() {
    return inState("recent-pairs.json");
}
QString engineLockFile() {
    return inState("engine.lock");
}
QString manifestCacheFile() {
    return inState("manifest-v2-cache.json");
}

QString notificationQueue() {
    return inState("notifications.queue");
}
QString notificationLock() {
    return inState("notifications.lock");
}
QString processedNotifications() {
    return inState("notifications.processed.");
}
QString meetingFlag() {
    return inState("meeting.flag");
}

QString updaterWorkPrefix() {
    return QDir::tempPath() + QStringLiteral("/quindle-updater-");
}
QString localBinDirectory() {
    return platform::homePath() + QStringLiteral("/.local/bin");
}
QString shimFile() {
    return localBinDirectory() + QStringLiteral("/qndl");
}
QString legacyDirectory() {
    return platform::homePath() + QStringLiteral("/.tarnel");
}

} // namespace quindle::paths
