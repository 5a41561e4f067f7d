#pragma once

#include <QString>

#include <optional>

namespace quindle::platform {

// The name people gave this computer: the pretty host name (hostnamectl, else PRETTY_HOSTNAME of
// /etc/machine-info), else the network host name. QUINDLE_MACHINE_NAME replaces it, for tests
// and for the service scripts, which read the same variable.
QString computerDisplayName();

// This computer's stable identity: the systemd machine ID written as an upper-case UUID
// (8-4-4-4-12). Nothing when the file does not hold exactly 32 hexadecimal digits.
std::optional<QString>
machineUUID(const QString &machineIdFile = QStringLiteral("/etc/machine-id"));

} // namespace quindle::platform
