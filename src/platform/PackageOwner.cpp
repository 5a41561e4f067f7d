#include "platform/PackageOwner.h"

#include "platform/ChildProcess.h"

#include <QStandardPaths>

#include <chrono>

namespace quindle::platform {

namespace {

using namespace std::chrono_literals;

QHash<QString, QString> askDpkg(const QString &dpkgQuery, const QStringList &paths) {
    QStringList arguments;
    if (const QString admin = qEnvironmentVariable("QUINDLE_DPKG_ADMINDIR"); !admin.isEmpty())
        arguments << QStringLiteral("--admindir=") + admin;
    arguments << QStringLiteral("-S");
    for (const QString &path : paths)
        arguments << dpkgExactPattern(path);
    ChildCommand command(dpkgQuery, arguments);
    command.deadline = 30s;
    // Exit 1 only says that some path has no package; the others are still listed.
    const ChildResult result = ChildProcess::run(command);
    return parseDpkgSearch(QString::fromUtf8(result.output), paths);
}

QHash<QString, QString> askRpm(const QString &rpm, const QStringList &paths) {
    QHash<QString, QString> owners;
    for (const QString &path : paths) {
        ChildCommand command(rpm, {QStringLiteral("-qf"), QStringLiteral("--qf"),
                                   QStringLiteral("%{NAME}\\n"), path});
        command.deadline = 10s;
        const ChildResult result = ChildProcess::run(command);
        const QString name = QString::fromUtf8(result.output).section(QLatin1Char('\n'), 0, 0);
        if (result.succeeded() && !name.isEmpty())
            owners.insert(path, name.trimmed());
    }
    return owners;
}

} // namespace

QString dpkgExactPattern(const QString &path) {
    QString pattern;
    for (const QChar c : path) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('[') ||
            c == QLatin1Char('\\'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern;
}

QHash<QString, QString> parseDpkgSearch(const QString &output, const QStringList &paths) {
    QHash<QString, QString> owners;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("diversion ")))
            continue;
        const qsizetype separator = line.indexOf(QLatin1String(": /"));
        if (separator < 0)
            continue;
        const QString path = line.mid(separator + 2);
        if (!paths.contains(path) || owners.contains(path))
            continue;
        owners.insert(path, line.left(separator).trimmed());
    }
    return owners;
}

QHash<QString, QString> packageOwners(const QStringList &paths) {
    if (paths.isEmpty())
        return {};
    if (const QString dpkgQuery = QStandardPaths::findExecutable(QStringLiteral("dpkg-query"));
        !dpkgQuery.isEmpty())
        return askDpkg(dpkgQuery, paths);
    if (const QString rpm = QStandardPaths::findExecutable(QStringLiteral("rpm")); !rpm.isEmpty())
        return askRpm(rpm, paths);
    return {};
}

QString packageRemovalCommand(const QString &package) {
    for (const char *tool : {"apt", "dnf", "zypper"})
        if (!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("sudo %1 remove %2").arg(QLatin1String(tool), package);
    return QStringLiteral("sudo rpm -e ") + package;
}

} // namespace quindle::platform
