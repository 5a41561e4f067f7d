#include "platform/ServiceManagerKind.h"

#include "platform/ChildProcess.h"

namespace quindle::platform {

namespace {

// Asking is the only test that holds everywhere: a booted systemd may have no user instance for
// this session, and a container may run a user instance without a booted system one.
bool userSystemdAnswers() {
    ChildCommand systemctl{QStringLiteral("systemctl"),
                           {QStringLiteral("--user"), QStringLiteral("show-environment")}};
    systemctl.channels = ChildCommand::Channels::Discarded;
    systemctl.deadline = std::chrono::seconds(5);
    return ChildProcess::run(systemctl).succeeded();
}

} // namespace

ServiceManagerKind detectServiceManager() {
    const QString forced = qEnvironmentVariable("QUINDLE_SERVICE_MANAGER");
    if (forced == QLatin1String("systemd"))
        return ServiceManagerKind::SystemdUser;
    if (forced == QLatin1String("detached"))
        return ServiceManagerKind::Detached;
    return userSystemdAnswers() ? ServiceManagerKind::SystemdUser : ServiceManagerKind::Detached;
}

QString describe(ServiceManagerKind kind) {
    switch (kind) {
    case ServiceManagerKind::SystemdUser:
        return QStringLiteral("systemd user instance (systemctl --user)");
    case ServiceManagerKind::Detached:
        return QStringLiteral("detached process with a pid file and an XDG autostart entry");
    }
    return {};
}

} // namespace quindle::platform
