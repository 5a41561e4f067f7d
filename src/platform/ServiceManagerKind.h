#pragma once

#include <QString>

namespace quindle::platform {

// How the background service is kept running for this user.
enum class ServiceManagerKind {
    SystemdUser, // a systemd user unit driven by `systemctl --user`
    Detached,    // a setsid process with a pid file, started again at login by XDG autostart
};

// QUINDLE_SERVICE_MANAGER=systemd|detached forces a kind; otherwise a user systemd must answer
// `systemctl --user` (containers and CI have none). Blocks up to 5 seconds.
ServiceManagerKind detectServiceManager();

QString describe(ServiceManagerKind kind);

} // namespace quindle::platform
