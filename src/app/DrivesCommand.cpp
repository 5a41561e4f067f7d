#include "app/CommandLine.h"

#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "core/StatePaths.h"
#include "insight/DriveSelection.h"
#include "insight/LocalDriveListing.h"

#include <QTextStream>

namespace quindle {

namespace {

void printCard(QTextStream &out, const Drive &drive) {
    const DriveCard card = DriveCard::from(drive);
    out << card.title;
    if (card.current)
        out << "  [" << DriveCard::currentBadge << ']';
    out << '\n';
    for (const DriveCard::Row &row : card.rows)
        out << "  " << row.label.leftJustified(12) << row.value << '\n';
}

void printAssessment(QTextStream &out, const Drive &drive) {
    const ProcessOutput result = ServiceBridge::runProcessBlocking(
        service::program(), service::arguments(service::assess, {drive.path}),
        service::subCommandTimeout);
    const std::optional<Assessment> assessment =
        result.status == 0 ? Assessment::decode(result.output.toUtf8()) : std::nullopt;
    if (!assessment) {
        out << "  Could not assess the drive.\n";
        return;
    }
    out << "  " << verdictTitle(drive.name, assessment->verdict) << '\n';
    for (const QString &reason : assessment->reasons)
        out << "    Issue: " << reason << '\n';
    for (const QString &warning : assessment->warnings)
        out << "    Warning: " << warning << '\n';
}

} // namespace

// quindle drives [--local]: the drives the service offers, each with its assessment; --local
// lists them the way the setup wizard does before the service is installed, and so does a
// plain call until it is.
int runDrives(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const bool localAsked = arguments.contains(QLatin1String("--local"));
    if (arguments.size() > (localAsked ? 1 : 0)) {
        err << "Usage: quindle drives [--local]\n";
        return 2;
    }
    const bool local = localAsked || !paths::serviceInstalled();

    QList<Drive> drives;
    if (local) {
        drives = LocalDriveListing::list();
    } else {
        const ProcessOutput result = ServiceBridge::runProcessBlocking(
            service::program(), service::arguments(service::listDrives),
            service::subCommandTimeout);
        const std::optional<QList<Drive>> listed =
            result.status == 0 ? Drive::decodeList(result.output.toUtf8()) : std::nullopt;
        if (!listed) {
            err << "Could not list the drives through the service; quindle drives --local lists "
                   "them "
                   "without it.\n";
            if (!result.output.trimmed().isEmpty())
                err << result.output.trimmed() << '\n';
            return 1;
        }
        drives = *listed;
    }

    if (drives.isEmpty()) {
        out << "No external drives are plugged in.\n";
        return 0;
    }
    for (qsizetype i = 0; i < drives.size(); ++i) {
        if (i > 0)
            out << '\n';
        printCard(out, drives.at(i));
        if (!local)
            printAssessment(out, drives.at(i));
    }
    out << '\n' << DriveSelectionModel::footerText() << '\n';
    return 0;
}

} // namespace quindle
