#pragma once

#include <QString>

namespace quindle::platform {

// The per-user preferences file (QSettings, INI format): ~/.config/Quindle/Quindle.conf.
QString preferencesFile();

} // namespace quindle::platform
