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
bool serviceInstalled();      // the service script is in place
QString rcloneHelperScript(); // rclone-helper.sh: account housekeeping
QString serviceLog();         // quindle.log
QString serviceOutputLog();   // quindle.launchd.log: the service manager's capture of its output
QString syncDirectory();

QString statusFile();
QString historyFile();       // history.ndjson: the service appends one snapshot a day
QString lastFreeSpaceFile(); // last-free-space.txt: the summary of the last Free Up Space run
QString passLockFile();      // service/pass.lock: held by a rules pass, rollback or Free Up Space
QString folderMovesDirectory();
QString appMovesDirectory(); // app-moves: one manifest per app move
QString movedAppsFile();     // moved-apps.json: the apps living on the NVMe
QString recentPairsFile();
QString engineLockFile();
QString manifestCacheFile(); // the last accepted update manifest, byte for byte

QString notificationQueue();      // notifications.queue: the service appends, the drain empties
QString notificationLock();       // notifications.lock: held by whoever changes the queue
QString processedNotifications(); // notifications.processed.: + the seconds of the drain
QString meetingFlag();            // meeting.flag: present while a camera or microphone is in use

// The updater's script and log: this + <UUID>.sh and + <UUID>.log, in the temporary folder.
QString updaterWorkPrefix();

QString localBinDirectory(); // ~/.local/bin
QString shimFile();          // ~/.local/bin/qndl

// The predecessor's folder, migrated once by the installer.
QString legacyDirectory(); // ~/.tarnel

} // namespace quindle::paths
