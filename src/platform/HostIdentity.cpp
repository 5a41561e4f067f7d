#include "platform/HostIdentity.h"

#include "platform/ChildProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>

namespace quindle::platform {

namespace {

QString prettyHostnameFromHostnamectl() {
    ChildCommand hostnamectl{QStringLiteral("hostnamectl"), {QStringLiteral("--pretty")}};
    hostnamectl.deadline = std::chrono::seconds(3);
    const ChildResult result = ChildProcess::run(hostnamectl);
    return result.succeeded() ? QString::fromUtf8(result.output).trimmed() : QString();
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
