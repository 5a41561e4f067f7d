#include "app/CommandLine.h"

#include "core/StatePaths.h"
#include "insight/CloudFolders.h"
#include "insight/FreeSpaceResult.h"
#include "insight/ServiceRun.h"
#include "insight/StorageScan.h"
#include "platform/TerminationSignals.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>

#include <functional>

namespace quindle {

namespace {

// Runs the event loop until `finished` comes; SIGINT or SIGTERM stops the service's process
// group through `stop` first, so no du or rsync outlives the command.
template <typename Model, typename Signal>
void runUntil(Model &model, Signal finished, const std::function<void()> &stop) {
    QEventLoop loop;
    QObject::connect(&model, finished, &loop, &QEventLoop::quit);
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::received, &loop,
                     [&stop](int) { stop(); });
    loop.exec();
}

// Streams one foreground service run to standard output and returns its exit code.
int followRun(ServiceRun &run, const QString &target) {
    QTextStream out(stdout);
    QObject::connect(&run, &ServiceRun::outputAppended, &run, [&out](const QString &text) {
        out << text;
        out.flush();
    });
    run.start(target);
    if (run.isRunning())
        runUntil(run, &ServiceRun::finished, [&run] { run.stop(); });
    if (!run.exitCode()) {
        QTextStream(stderr) << run.output() << '\n';
        return 1;
    }
    return *run.exitCode();
}

int storageUsage(const char *text) {
    QTextStream(stderr) << "Usage: " << text << '\n';
    return 2;
}

} // namespace

// quindle scan: the home folder's rows as the service measures them, one per line as they come.
int runScan(const QStringList &arguments) {
    if (!arguments.isEmpty())
        return storageUsage("quindle scan");
    QTextStream out(stdout);
    StorageScan scan;
    QObject::connect(&scan, &StorageScan::rowAdded, &scan, [&out](const ScanRow &row) {
        out << row.sizeBytes << '\t' << (row.actionable ? "ACTIONABLE" : "-") << '\t' << row.label
            << '\t' << row.path << '\n';
        out.flush();
    });
    scan.start();
    if (scan.isRunning())
        runUntil(scan, &StorageScan::finished, [&scan] { scan.cancel(); });
    if (!scan.isDone()) {
        QTextStream(stderr) << scan.lastError().value_or(
                                   QStringLiteral("The scan stopped before it finished."))
                            << '\n';
        return 1;
    }
    out << scan.footerText() << '\n';
    return 0;
}

// quindle move-dir PATH: one actionable folder to the NVMe, as the inspector's Move does.
int runMoveDir(const QStringList &arguments) {
    if (arguments.size() != 1 || arguments.first().isEmpty())
        return storageUsage("quindle move-dir PATH");
    ServiceRun run(ServiceRun::folderMove());
    return followRun(run, QFileInfo(arguments.first()).absoluteFilePath());
}

// quindle free-space: the rules that move and clean, then the cloud folders; then the headline.
int runFreeSpace(const QStringList &arguments) {
    if (!arguments.isEmpty())
        return storageUsage("quindle free-space");
    const QDateTime before = QFileInfo(paths::lastFreeSpaceFile()).lastModified();
    ServiceRun run(ServiceRun::freeSpace());
    const int status = followRun(run, {});
    FreeSpaceResult result;
    result.reload();
    // A refused run writes no summary; an older one's headline would mislead.
    if (result.latest() && result.fileModTime() && *result.fileModTime() != before.toUTC())
        QTextStream(stdout) << result.latest()->headline() << ".\n";
    return status;
}

// quindle cloud-roots: each cloud folder with the bytes this computer keeps of it.
int runCloudRoots(const QStringList &arguments) {
    if (!arguments.isEmpty())
        return storageUsage("quindle cloud-roots");
    QTextStream out(stdout);
    CloudRoots roots;
    roots.refreshBlocking();
    if (roots.roots().isEmpty()) {
        out << "No cloud folder is mounted.\n";
        return 0;
    }
    for (const CloudRoot &root : roots.roots()) {
        const std::optional<qint64> bytes = CloudUsageProbe::measure(root.path);
        out << root.label << '\t' << root.path << '\t'
            << (bytes ? QString::number(*bytes) : QStringLiteral("-")) << '\n';
    }
    return 0;
}

// quindle optimize-cloud PATH: drops the local copies of a cloud folder's unchanged files.
int runOptimiseCloud(const QStringList &arguments) {
    if (arguments.size() != 1 || arguments.first().isEmpty())
        return storageUsage("quindle optimize-cloud PATH");
    ServiceRun run(ServiceRun::cloudOptimisation());
    return followRun(run, QFileInfo(arguments.first()).absoluteFilePath());
}

} // namespace quindle
