#include "platform/ProcessTable.h"

#include <QFile>

#include <algorithm>
#include <csignal>

namespace quindle::platform {

QStringList commandLineOf(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.endsWith('\0'))
        bytes.chop(1);
    QStringList args;
    for (const QByteArray &piece : bytes.split('\0'))
        args << QFile::decodeName(piece);
    return bytes.isEmpty() ? QStringList{} : args;
}

std::optional<qint64> terminateScriptRun(const QString &pidFile, const QString &script) {
    QFile file(pidFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 pid = file.readLine().trimmed().toLongLong(&ok);
    if (!ok || pid <= 1)
        return std::nullopt;
    const QStringList arguments = commandLineOf(pid);
    const bool runsScript = std::any_of(arguments.begin(), arguments.end(), [&](const QString &a) {
        return a == script || a.endsWith(QLatin1Char('/') + script);
    });
    if (!runsScript || ::kill(static_cast<pid_t>(pid), SIGTERM) != 0)
        return std::nullopt;
    return pid;
}

} // namespace quindle::platform
