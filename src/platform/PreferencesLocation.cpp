#include "platform/PreferencesLocation.h"

#include "platform/HomeDirectory.h"

namespace quindle::platform {

QString preferencesFile() {
    return userConfigPath() + QStringLiteral("/Quindle/Quindle.conf");
}

} // namespace quindle::platform
