#include "platform/DesktopNouns.h"

namespace quindle::platform {

QString trayAppName() {
    return QStringLiteral("the system tray app");
}

} // namespace quindle::platform
