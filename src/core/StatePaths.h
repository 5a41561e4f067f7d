#pragma once

#include <QString>
#include <QStringList>

// Every file the application and the background service share. Each function builds its path
// from the home folder at the moment of the call; nothing here may be cached.
namespace quindle::paths {

QString quindleDirectory(); // ~/.quindle
QString stateDirectory();   // ~/.quindle/state

QString configFile();         // quindle.conf
QString serviceScript();      // quindle.sh
QString rcloneHelperScript(); // rclone-helper.sh
QStringList stageScripts();   // the numbered stage scripts, in order
QString serviceLog();         // quindle.log
QString serviceOutputLog();   // quindle.launchd.log: the service manager's capture of its output
QString actionsLog();         // quindle.actions.tsv
QString secretsDirectory();
QString syncDirectory();
QString transferJobsFile();

QString statusFile();
QString historyFile();
QString notificationsQueue();
QString notificationsProcessed(qint64 secondsSinceEpoch);
QString meetingFlag();
QString lastFreeSpaceFile();
QString folderMovesDirectory();
QString appMovesDirectory();
QString movedAppsFile();
QString recentPairsFile();
QString manifestCacheFile();
QString manifestV2CacheFile();
QString legalAcceptanceFile();
QString remoteMetadataFile();
QString engineLockFile();

QString localBinDirectory(); // ~/.local/bin
QString shimFile();          // ~/.local/bin/qndl
QString legacyShimFile();    // ~/.local/bin/dwctl

QString updaterWorkPrefix(); // <temp>/quindle-updater-

// The predecessor's folder, migrated once by the installer.
QString legacyDirectory(); // ~/.tarnel

} // namespace quindle::paths
