#include "platform/ServiceLocations.h"

#include "platform/HomeDirectory.h"

namespace quindle::platform {

QString userServiceDirectory() {
    return userConfigPath() + QStringLiteral("/systemd/user");
}

QString serviceUnitFile() {
    return userServiceDirectory() + QStringLiteral("/quindle-service.service");
}

QString legacyGuiAgentFile() {
    return userServiceDirectory() + QStringLiteral("/quindle-gui.service");
}

QStringList predecessorAgentFiles() {
    const QString dir = userServiceDirectory();
    return {dir + QStringLiteral("/com.tarnel.drivewarden.service"),
            dir + QStringLiteral("/com.tarnel.drivewarden.gui.service"),
            dir + QStringLiteral("/com.tarnel.drivesentry.service")};
}

QString autostartDirectory() {
    return userConfigPath() + QStringLiteral("/autostart");
}

} // namespace quindle::platform
