#include "app/CommandLine.h"

#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "insight/NVMeInfo.h"

#include <QTextStream>

namespace quindle {

int runNVMeInfo(const QStringList &) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const ProcessOutput result = ServiceBridge::runProcessBlocking(
        service::program(), service::arguments(service::nvmeInfo), service::subCommandTimeout);
    const std::optional<NVMeInfo> info =
        result.status == 0 ? NVMeInfo::decode(result.output.toUtf8()) : std::nullopt;
    if (!info) {
        err << "Could not read NVMe info.\n";
        if (!result.output.trimmed().isEmpty())
            err << result.output.trimmed() << '\n';
        return 1;
    }
    const NVMeInspection inspection = NVMeInspection::from(*info);
    out << inspection.headline << '\n' << inspection.subtitle << "\n\n";
    for (const NVMeInspection::Row &row : inspection.rows)
        out << row.label.leftJustified(14) << row.value << '\n';
    return 0;
}

} // namespace quindle
