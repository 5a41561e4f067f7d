#include "platform/DesktopNouns.h"

namespace quindle::platform {

QString trayAppName() {
    return QStringLiteral("the system tray app");
}

QString fileManagerName() {
    return QStringLiteral("File Manager");
}

QString serviceManagerNoun() {
    return QStringLiteral("your session's service manager");
}

QString userServiceNoun() {
    return QStringLiteral("user service");
}

QString shortcutModifier() {
    return QStringLiteral("Ctrl");
}

QString installFolderNoun() {
    return QStringLiteral("The installation folder");
}

QString terminalNoun() {
    return QStringLiteral("a terminal");
}

QString encryptedVolumesNoun() {
    return QStringLiteral("encrypted volumes");
}

QString driveDependentTools() {
    return QStringLiteral("Docker, Podman, Android Emulator, JetBrains IDEs");
}

QString currentDesktop() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP");
}

QString administratorPasswordNotice() {
    return QStringLiteral("Your system will ask for your administrator password.");
}

} // namespace quindle::platform
