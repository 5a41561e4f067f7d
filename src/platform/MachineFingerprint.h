#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quindle::platform {

// This computer's identifier as one application sees it, derived from /etc/machine-id the way
// sd_id128_get_machine_app_specific() derives it: HMAC-SHA-256 keyed by the 16 bytes of the
// machine ID over the 16 bytes of `appId`, the first half made a version 4 UUID, written as 32
// lower-case hex digits. The machine ID cannot be recovered from it, so it may leave the computer;
// the machine ID itself never does. Nothing when the machine ID is missing or unreadable, or
// `appId` is not 16 bytes.
std::optional<QByteArray> appSpecificMachineId(const QByteArray &appId);

// The machine ID itself as an upper-case UUID (8-4-4-4-12): this computer's stable identity, for
// records that stay on it. Nothing when the file does not hold exactly 32 hexadecimal digits.
std::optional<QString>
machineUUID(const QString &machineIdFile = QStringLiteral("/etc/machine-id"));

// The machine ID as written (32 lower-case hex digits) from /etc/machine-id, else
// /var/lib/dbus/machine-id: a text that stays the same on this computer and differs on every
// other. QUINDLE_MACHINE_ID_FILE replaces both, so tests can play another computer.
std::optional<QString> machineIdentifier();

} // namespace quindle::platform
