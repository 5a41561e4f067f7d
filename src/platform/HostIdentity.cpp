#include "platform/HostIdentity.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>

namespace quindle::platform {

namespace {

QString prettyHostnameFromHostnamectl() {
    QProcess hostnamectl;
    hostnamectl.start(QStringLiteral("hostnamectl"), {QStringLiteral("--pretty")});
    if (!hostnamectl.waitForStarted(2000))
        return {};
    if (!hostnamectl.waitForFinished(3000)) {
        hostnamectl.kill();
        hostnamectl.waitForFinished(1000);
        return {};
    }
    if (hostnamectl.exitStatus() != QProcess::NormalExit || hostnamectl.exitCode() != 0)
        return {};
    return QString::fromUtf8(hostnamectl.readAllStandardOutput()).trimmed();
}

QString prettyHostnameFromMachineInfo() {
    QFile file(QStringLiteral("/etc/machine-info"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression line(QStringLiteral(R"(^PRETTY_HOSTNAME=["']?(.*?)["']?$)"),
                                         QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(file.readAll())).captured(1).trimmed();
}

} // namespace

QString computerDisplayName() {
    const QString forced = qEnvironmentVariable("QUINDLE_MACHINE_NAME");
    if (!forced.isEmpty())
        return forced;
    // Asked once per process: hostnamectl is a child process, and a computer is rarely renamed
    // while Quindle runs.
    static const QString name = [] {
        QString found = prettyHostnameFromHostnamectl();
        if (found.isEmpty())
            found = prettyHostnameFromMachineInfo();
        if (found.isEmpty())
            found = QSysInfo::machineHostName();
        return found;
    }();
    return name;
}

} // namespace quindle::platform
