#include "core/ServiceScripts.h"

#include "core/Installer.h"
#include "core/StatePaths.h"
#include "platform/ProgramLocations.h"

#include <QFileInfo>

namespace quindle::service {

QString program() {
    return platform::bashExecutable();
}

QStringList arguments(const QString &subCommand, const QStringList &extra) {
    return QStringList{paths::serviceScript(), subCommand} + extra;
}

QStringList helperArguments(const QString &subCommand, const QStringList &extra) {
    QString script = paths::rcloneHelperScript();
    // Before the service is installed (a first launch, the command line), the shipped copy
    // answers the same.
    if (!QFileInfo::exists(script))
        if (const QString folder = Installer::bundledScriptsFolder(); !folder.isEmpty())
            script = folder + QLatin1Char('/') + rcloneHelperScript;
    return QStringList{script, subCommand} + extra;
}

} // namespace quindle::service
