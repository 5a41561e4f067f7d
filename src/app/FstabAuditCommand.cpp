#include "app/CommandLine.h"

#include "insight/FstabAuditor.h"

#include <QTextStream>

namespace quindle {

int runFstabAudit(const QStringList &arguments) {
    if (arguments.size() > 1) {
        QTextStream(stderr) << "Usage: quindle fstab-audit [FILE]\n";
        return 2;
    }
    const QString file = arguments.value(0, FstabEntry::systemFile());
    QTextStream(stdout) << "legacy fstab entry: " << (FstabAuditor::detect(file) ? "yes" : "no")
                        << '\n';
    return 0;
}

} // namespace quindle
