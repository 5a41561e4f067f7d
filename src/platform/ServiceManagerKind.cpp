#include "platform/ServiceManagerKind.h"

#include <QFileInfo>
#include <QProcess>

namespace quindle::platform {

namespace {

bool userSystemdAnswers() {
    if (!QFileInfo(QStringLiteral("/run/systemd/system")).isDir())
        return false;
    QProcess systemctl;
    systemctl.start(QStringLiteral("systemctl"),
                    {QStringLiteral("--user"), QStringLiteral("show-environment")});
    if (!systemctl.waitForFinished(5000)) {
        systemctl.kill();
        systemctl.waitForFinished(1000);
        return false;
    }
    return systemctl.exitStatus() == QProcess::NormalExit && systemctl.exitCode() == 0;
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
