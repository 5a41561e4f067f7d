#pragma once

#include "platform/UserService.h"

#include <QString>

#include <memory>
#include <optional>

namespace quindle::platform {

// The service as a systemd user unit, driven by `systemctl --user`.
std::unique_ptr<ServiceManager> makeSystemdUserManager(CommandRunner runner);

// One ExecStart= word, always quoted: C escapes, `%%` for specifiers and, except for the program
// itself, `$$` so systemd does not expand variables.
QString systemdExecWord(const QString &word, bool isProgram = false);
// The unit file; nothing when a path holds a character a unit file cannot carry (a control
// character in the log path, which takes no quoting).
std::optional<QString> serviceUnitText(const ServiceDefinition &definition);

} // namespace quindle::platform
