#include "app/CommandLine.h"

#include "core/StatePaths.h"

#include <QTextStream>

#include <functional>
#include <map>

namespace quindle {

namespace {

struct Command {
    std::function<int(const QStringList &)> run;
    const char *summary;
    bool runsInstalledService = false; // through ~/.quindle/quindle.sh
};

const std::map<QString, Command> &commands() {
    static const std::map<QString, Command> table{
        {QStringLiteral("apps"),
         {runApps, "list the apps that could move to the drive, move them there or back"}},
        {QStringLiteral("demo"),
         {runDemo, "move a sample folder to a spare folder and back, step by step"}},
        {QStringLiteral("doctor"), {runDoctor, "print what this machine offers Quindle"}},
        {QStringLiteral("status"), {runStatus, "print the background service's last status"}},
        {QStringLiteral("nvme-info"),
         {runNVMeInfo, "inspect the managed drive through the service", true}},
        {QStringLiteral("move"),
         {runMove, "move a folder or file into a folder on the drive, verified"}},
        {QStringLiteral("moves"), {runMoves, "list the recorded moves"}},
        {QStringLiteral("resume"), {runResume, "resume every interrupted move and wait for it"}},
        {QStringLiteral("revert"),
         {runRevert, "bring a completed move back to where it came from"}},
        {QStringLiteral("service"),
         {runService, "install, start, stop, check or upgrade the background service, or run one "
                      "of its sub-commands"}},
        {QStringLiteral("drives"),
         {runDrives, "list the drives that could be the NVMe, with their assessment"}},
        {QStringLiteral("config"),
         {runConfig, "get or set one key of the service's configuration"}},
        {QStringLiteral("fstab-audit"),
         {runFstabAudit, "tell whether the file system table still pins the drive's mount point"}},
        {QStringLiteral("manifest"),
         {runManifest, "fetch the update manifest once, or sign one for publishing"}},
        {QStringLiteral("uninstall"),
         {runUninstall, "remove the service, shims and relocations; with --yes, for real"}},
        {QStringLiteral("update"),
         {runUpdate, "check for a newer version; with --yes, install it in place and restart"}},
        {QStringLiteral("settings"), {runSettings, "show the service's settings, or change one"}},
        {QStringLiteral("rules"),
         {runRules, "list the service's rules with the ages they run at, or change them"}},
        {QStringLiteral("notifications"),
         {runNotifications, "post what the background service has queued, once"}},
        {QStringLiteral("meeting"),
         {runMeeting, "say which camera or microphone is in use; with --once, set the flag"}},
        {QStringLiteral("transfer"),
         {runTransfer, "add a cloud transfer, or cancel, remove or retry one"}},
        {QStringLiteral("transfers"),
         {runTransfers, "list the cloud transfers, or run them until none is left"}},
        {QStringLiteral("remotes"),
         {runRemotes, "list, add, test, remove or browse the cloud accounts (rclone remotes)"}},
        {QStringLiteral("vault"), {runVault, "set, read, list or reset the encrypted credentials"}},
        {QStringLiteral("legal"),
         {runLegal, "say whether this build's legal documents have been accepted"}},
        {QStringLiteral("history"),
         {runHistory, "list the daily snapshots of free space, savings and the largest folders"}},
        {QStringLiteral("scan"),
         {runScan, "measure the home folder's largest entries, printing each as it comes", true}},
        {QStringLiteral("move-dir"),
         {runMoveDir, "move one folder the scan marks ACTIONABLE to the drive", true}},
        {QStringLiteral("free-space"),
         {runFreeSpace, "run the moving and cleaning rules and evict the chosen cloud folders",
          true}},
        {QStringLiteral("cloud-roots"),
         {runCloudRoots, "list the cloud folders with the bytes kept on this computer", true}},
        {QStringLiteral("optimize-cloud"),
         {runOptimiseCloud, "drop the local copies of a cloud folder's unchanged files", true}},
        {QStringLiteral("backups"),
         {runBackups, "list the backups on the drive, make one now, or restore one", true}},
        {QStringLiteral("telemetry"),
         {runTelemetry, "switch usage events on or off, see their state, or send one"}},
        {QStringLiteral("feedback"),
         {runFeedback, "send feedback after verifying your email address with a mailed code"}},
    };
    return table;
}

int usage(QTextStream &out, int exitCode) {
    out << "Usage: quindle <command> [arguments]\n       quindle --version\n\nCommands:\n";
    for (const auto &[name, command] : commands())
        out << "  " << name.leftJustified(14) << command.summary << '\n';
    return exitCode;
}

} // namespace

int runCommandLine(const QStringList &arguments) {
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help")) {
        QTextStream out(stdout);
        return usage(out, arguments.isEmpty() ? 2 : 0);
    }
    const auto found = commands().find(arguments.first());
    if (found == commands().end()) {
        QTextStream err(stderr);
        err << "quindle: unknown command “" << arguments.first() << "”.\n";
        return usage(err, 2);
    }
    if (found->second.runsInstalledService && !paths::serviceInstalled()) {
        QTextStream err(stderr);
        err << "The background service is not installed yet. Install it with “quindle service "
               "install”, or open Quindle and finish its setup.\n";
        return 1;
    }
    return found->second.run(arguments.mid(1));
}

} // namespace quindle
