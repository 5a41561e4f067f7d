#pragma once

#include <QString>

namespace quindle::platform {

// Where the application's icon lives on this desktop, as a sentence fragment.
QString trayAppName(); // "the system tray app"

} // namespace quindle::platform
