#include "core/StatePaths.h"

#include "platform/HomeDirectory.h"

#include <QDir>

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
QString rcloneHelperScript() {
    return inQuindle("rclone-helper.sh");
}

QStringList stageScripts() {
    return {inQuindle("2-prep-nvme.sh")};
}

QString serviceLog() {
    return inQuindle("quindle.log");
}
QString serviceOutputLog() {
    return inQuindle("quindle.launchd.log");
}
QString actionsLog() {
    return inQuindle("quindle.actions.tsv");
}
QString secretsDirectory() {
    return inQuindle("secrets");
}
QString syncDirectory() {
    return inQuindle("sync");
}
QString transferJobsFile() {
    return syncDirectory() + QStringLiteral("/jobs.json");
}

QString statusFile() {
    return inState("status.json");
}
QString historyFile() {
    return inState("history.ndjson");
}
QString notificationsQueue() {
    return inState("notifications.queue");
}

QString notificationsProcessed(qint64 secondsSinceEpoch) {
    return inState("notifications.processed.") + QString::number(secondsSinceEpoch);
}

QString meetingFlag() {
    return inState("meeting.flag");
}
QString lastFreeSpaceFile() {
    return inState("last-free-space.txt");
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
QString manifestCacheFile() {
    return inState("manifest-cache.json");
}
QString manifestV2CacheFile() {
    return inState("manifest-v2-cache.json");
}
QString legalAcceptanceFile() {
    return inState("legal-acceptance.json");
}
QString remoteMetadataFile() {
    return inState("remote-metadata.json");
}
QString engineLockFile() {
    return inState("engine.lock");
}

QString localBinDirectory() {
    return platform::homePath() + QStringLiteral("/.local/bin");
}
QString shimFile() {
    return localBinDirectory() + QStringLiteral("/qndl");
}
QString legacyShimFile() {
    return localBinDirectory() + QStringLiteral("/dwctl");
}

QString updaterWorkPrefix() {
    return QDir::tempPath() + QStringLiteral("/quindle-updater-");
}

QString legacyDirectory() {
    return platform::homePath() + QStringLiteral("/.tarnel");
}

} // namespace quindle::paths
