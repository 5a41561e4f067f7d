#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

// Everything the application relies on in the background service: its sub-commands and how they
// are run. The files it writes are named in core/StatePaths.h.
namespace quindle::service {

// Sub-commands of quindle.sh.
inline const QString watch = QStringLiteral("watch");
inline const QString pause = QStringLiteral("pause");
inline const QString resume = QStringLiteral("resume");
inline const QString relocateNow = QStringLiteral("relocate-now");
inline const QString dryRun = QStringLiteral("dry-run");
inline const QString rollback = QStringLiteral("rollback");
inline const QString remount = QStringLiteral("remount");
inline const QString ejectNVMe = QStringLiteral("eject-nvme");
inline const QString showInFileManager = QStringLiteral("show-in-finder");
inline const QString nvmeInfo = QStringLiteral("nvme-info");
inline const QString validate = QStringLiteral("validate");
inline const QString listDrives = QStringLiteral("list-drives");
inline const QString assess = QStringLiteral("assess");
inline const QString benchmark = QStringLiteral("benchmark");
inline const QString selectDrive = QStringLiteral("select-drive");
inline const QString scanStorage = QStringLiteral("scan-storage");
inline const QString moveDir = QStringLiteral("move-dir");
inline const QString freeSpace = QStringLiteral("free-space");
inline const QString listCloudRoots = QStringLiteral("list-cloud-roots");
inline const QString cloudUsage = QStringLiteral("cloud-usage");
inline const QString optimiseCloud = QStringLiteral("optimize-icloud");
inline const QString backupSelf = QStringLiteral("backup-self");

// The account helper (rclone-helper.sh) and its sub-commands.
inline const QString rcloneHelperScript = QStringLiteral("rclone-helper.sh");
inline const QString remotesList = QStringLiteral("remotes-list");
inline const QString remoteTypes = QStringLiteral("remote-types");
inline const QString remoteTest = QStringLiteral("remote-test");
inline const QString remoteRemove = QStringLiteral("remote-remove");

// The stage script that prepares a drive; it reads the drive's path from the NVMe variable.
inline const QString prepDriveScript = QStringLiteral("2-prep-nvme.sh");

// The time every bounded sub-command gets before it is ended.
constexpr std::chrono::seconds subCommandTimeout{60};

// The program and arguments that run `quindle.sh <sub-command> [arguments…]` under bash.
QString program();
QStringList arguments(const QString &subCommand, const QStringList &extra = {});
// The same for `rclone-helper.sh <sub-command> [arguments…]`.
QStringList helperArguments(const QString &subCommand, const QStringList &extra = {});

} // namespace quindle::service
