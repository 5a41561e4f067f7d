#pragma once

#include "platform/UserService.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace quindle::platform {

// The fallback without a user systemd: a detached supervisor started now and by an autostart
// entry at login.
std::unique_ptr<ServiceManager> makeDetachedManager();

QString detachedPidFile();           // ~/.quindle/state/service.pid
QString detachedAutostartFileName(); // quindle-service.desktop
// The argument vector that runs the service detached: setsid, then a bash supervisor that keeps
// one instance (a lock beside the pid file), writes the pid file and restarts the service after
// each exit, throttled.
QStringList detachedCommand(const ServiceDefinition &definition);
// The supervisor's pid when it runs, read from the pid file and confirmed by its command line.
std::optional<qint64> runningDetachedService();

} // namespace quindle::platform
