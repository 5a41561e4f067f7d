#pragma once

#include <QString>

namespace quindle::platform {

// The name people gave this computer: the pretty host name (hostnamectl, else PRETTY_HOSTNAME of
// /etc/machine-info), else the network host name. QUINDLE_MACHINE_NAME replaces it, for tests
// and for the service scripts, which read the same variable.
QString computerDisplayName();

} // namespace quindle::platform
