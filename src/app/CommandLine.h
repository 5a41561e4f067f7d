#pragma once

#include <QStringList>

class QApplication;

namespace quindle {

// The desktop application: tray icon, popover and windows.
int runDesktop(QApplication &app);

// The command-line front end: the same engines as the application, without a window.
int runCommandLine(const QStringList &arguments);

// Sub-commands, one per file.
int runDoctor(const QStringList &arguments);
int runStatus(const QStringList &arguments);
int runNVMeInfo(const QStringList &arguments);
int runMove(const QStringList &arguments);
int runMoves(const QStringList &arguments);
int runResume(const QStringList &arguments);
int runRevert(const QStringList &arguments);
int runDemo(const QStringList &arguments);
int runService(const QStringList &arguments);
int runDrives(const QStringList &arguments);
int runConfig(const QStringList &arguments);
int runFstabAudit(const QStringList &arguments);
int runManifest(const QStringList &arguments);
int runUpdate(const QStringList &arguments);
int runUninstall(const QStringList &arguments);
int runLegal(const QStringList &arguments);
int runSettings(const QStringList &arguments);
int runRules(const QStringList &arguments);
int runNotifications(const QStringList &arguments);
int runMeeting(const QStringList &arguments);
int runTelemetry(const QStringList &arguments);
int runFeedback(const QStringList &arguments);
int runHistory(const QStringList &arguments);
int runTransfer(const QStringList &arguments);
int runTransfers(const QStringList &arguments);
int runVault(const QStringList &arguments);
int runRemotes(const QStringList &arguments);
int runApps(const QStringList &arguments);
int runScan(const QStringList &arguments);
int runMoveDir(const QStringList &arguments);
int runFreeSpace(const QStringList &arguments);
int runCloudRoots(const QStringList &arguments);
int runOptimiseCloud(const QStringList &arguments);
int runBackups(const QStringList &arguments);

} // namespace quindle
