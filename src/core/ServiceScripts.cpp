#include "core/ServiceScripts.h"

#include "core/StatePaths.h"
#include "platform/ProgramLocations.h"

namespace quindle::service {

QString program() {
    return platform::bashExecutable();
}

QStringList arguments(const QString &subCommand, const QStringList &extra) {
    return QStringList{paths::serviceScript(), subCommand} + extra;
}

QStringList helperArguments(const QString &subCommand, const QStringList &extra) {
    return QStringList{paths::rcloneHelperScript(), subCommand} + extra;
}

} // namespace quindle::service
