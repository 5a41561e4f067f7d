#include "app/CommandLine.h"
#include "app/EngineLock.h"
#include "app/WaitFor.h"

#include "core/Installer.h"
#include "core/StatePaths.h"
#include "core/Uninstaller.h"

#include <QTextStream>

namespace quindle {

namespace {

int uninstallUsage(QTextStream &err) {
    err << "Usage: quindle uninstall [--yes] [--keep-relocations] [--keep-config] [--keep-app]\n";
    return 2;
}

void printSummary(const Uninstaller &uninstaller, QTextStream &out) {
    const QList<Relocation> relocations = Uninstaller::detectRelocations();
    const std::optional<QString> install = Uninstaller::installFolder();
    out << "This will remove Quindle from this computer.\n"
           "Your files on the external drive are not touched. You can copy them back manually "
           "any time.\n\n"
        << "  Service:            "
        << (userServiceManager()->isLoaded() ? "Running" : "Not running") << '\n'
        << "  Relocated folders:  " << relocations.size()
        << (uninstaller.revertRelocations ? "" : " (kept)") << '\n';
    for (const Relocation &relocation : relocations)
        out << "    " << relocation.path << " → " << relocation.target
            << (relocation.hasBackup ? "" : "  (no backup: the data stays on the drive)") << '\n';
    out << "  Install folder:     "
        << install.value_or(QStringLiteral("(not in an install folder)"))
        << (uninstaller.moveAppToTrash ? "" : " (kept)") << '\n'
        << "  Config directory:   " << paths::quindleDirectory()
        << (uninstaller.removeConfigAndLogs ? "" : " (kept)") << "\n\n"
        << "Run again with --yes to uninstall.\n";
}

} // namespace

// quindle uninstall [--yes] [--keep-relocations] [--keep-config] [--keep-app]
int runUninstall(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    Uninstaller uninstaller(detectOnce());
    bool yes = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--yes"))
            yes = true;
        else if (argument == QLatin1String("--keep-relocations"))
            uninstaller.revertRelocations = false;
        else if (argument == QLatin1String("--keep-config"))
            uninstaller.removeConfigAndLogs = false;
        else if (argument == QLatin1String("--keep-app"))
            uninstaller.moveAppToTrash = false;
        else
            return uninstallUsage(err);
    }
    if (!yes) {
        printSummary(uninstaller, out);
        return 1;
    }
    // The running application would write its state again behind the steps.
    if (engineLockHeld()) {
        err << engineLockHeldMessage() << '\n';
        return 1;
    }
    waitFor(uninstaller.uninstall());
    for (const QString &line : uninstaller.log())
        out << line << '\n';
    return 0;
}

} // namespace quindle
