#include "platform/DetachedService.h"

#include "platform/AutostartEntry.h"
#include "platform/ProcessTable.h"
#include "platform/ChildProcess.h"
#include "platform/HomeDirectory.h"
#include "platform/ProgramLocations.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace quindle::platform {

namespace {

const QString kSupervisorMarker = QStringLiteral("quindle-service");

// Arguments: pid file, log file, restart delay, then the service's own command. The lock keeps
// a second start (a login while one runs) from running the service twice; fd 9 is closed for
// the service so a supervisor that dies releases it.
const QString kSupervisor = QStringLiteral(R"(pidfile=$1 log=$2 delay=$3
shift 3
exec 9>>"$pidfile.lock" || exit 1
flock -n 9 || exit 0
printf '%s\n' "$$" >"$pidfile.tmp" && mv -f -- "$pidfile.tmp" "$pidfile" || exit 1
while :; do
    "$@" >>"$log" 2>&1 </dev/null 9>&-
    sleep "$delay" </dev/null 9>&-
done)");

QString executable(const QString &name, const QString &fallback) {
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? fallback : found;
}

// --- /proc -------------------------------------------------------------------------------------

struct ProcStat {
    char state = '?';
    qint64 session = 0;
};

// The name field may hold spaces and parentheses, so the fields are read after its last ')'.
std::optional<ProcStat> statOf(const QString &pid) {
    QFile file(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 4 || fields[0].isEmpty())
        return std::nullopt;
    return ProcStat{fields[0].at(0), fields[3].toLongLong()};
}

// Live processes of a session; zombies have ended and only wait to be reaped.
QList<qint64> sessionMembers(qint64 session) {
    QList<qint64> members;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const std::optional<ProcStat> stat = statOf(entry);
        if (stat && stat->session == session && stat->state != 'Z' && stat->state != 'X')
            members << pid;
    }
    return members;
}

bool waitUntilGone(qint64 session, std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    while (!sessionMembers(session).isEmpty()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

void signalAll(const QList<qint64> &pids, int signal) {
    for (const qint64 pid : pids)
        ::kill(static_cast<pid_t>(pid), signal);
}

class DetachedManager final : public ServiceManager {
public:
    ServiceManagerKind kind() const override { return ServiceManagerKind::Detached; }
    QString definitionFile() const override {
        return autostartEntryFile(detachedAutostartFileName());
    }

    std::optional<QString> install(const ServiceDefinition &definition) override {
        return writeAutostartEntry(detachedAutostartFileName(),
                                   {QStringLiteral("Quindle service"),
                                    QStringLiteral("Keeps the Quindle background service running."),
                                    detachedCommand(definition)});
    }

    CommandResult load(const ServiceDefinition &definition) override {
        unload();
        const QString pidFile = detachedPidFile();
        QDir().mkpath(QFileInfo(pidFile).path());
        QFile::remove(pidFile);
        const QStringList command = detachedCommand(definition);
        ChildCommand starter{command.first(), command.mid(1)};
        starter.workingDirectory = homePath();
        if (const std::optional<QString> error = startDetached(starter))
            return {-1, QStringLiteral("Launch failed: ") + *error};
        const QDeadlineTimer deadline(serviceQueryTimeout);
        while (!runningDetachedService()) {
            if (deadline.hasExpired())
                return {1, QStringLiteral("The background service did not start within %1 "
                                          "seconds; its output is in %2.")
                               .arg(serviceQueryTimeout.count())
                               .arg(definition.logFile)};
            QThread::msleep(50);
        }
        return {0, {}};
    }

    CommandResult unload() override {
        const std::optional<qint64> supervisor = runningDetachedService();
        if (!supervisor) {
            QFile::remove(detachedPidFile());
            return {0, {}};
        }
        // The supervisor leads its own session; every helper the service started is in it, even
        // those (timeout) that moved to a process group of their own.
        signalAll(sessionMembers(*supervisor), SIGTERM);
        if (!waitUntilGone(*supervisor, std::chrono::seconds(5))) {
            signalAll(sessionMembers(*supervisor), SIGKILL);
            if (!waitUntilGone(*supervisor, std::chrono::seconds(2)))
                return {1, QStringLiteral("The background service (process %1) did not stop.")
                               .arg(*supervisor)};
        }
        QFile::remove(detachedPidFile());
        return {0, {}};
    }

    bool isLoaded() override { return runningDetachedService().has_value(); }
    void retire(const QString &) override {} // nothing runs a predecessor's unit here
    std::optional<QString> remove() override {
        unload();
        return removeAutostartEntry(detachedAutostartFileName());
    }

    QString writtenNoun() const override { return QStringLiteral("Autostart entry"); }
    QString loadedNoun() const override { return QStringLiteral("Service"); }
    QString controlProgram() const override { return QStringLiteral("setsid"); }
};

} // namespace

std::unique_ptr<ServiceManager> makeDetachedManager() {
    return std::make_unique<DetachedManager>();
}

QString detachedPidFile() {
    return homePath() + QStringLiteral("/.quindle/state/service.pid");
}

QString detachedAutostartFileName() {
    return QStringLiteral("quindle-service.desktop");
}

QStringList detachedCommand(const ServiceDefinition &definition) {
    // env sets PATH the same way for a start from the application and one at login.
    return QStringList{executable(QStringLiteral("env"), QStringLiteral("/usr/bin/env")),
                       QStringLiteral("PATH=") + definition.searchPath,
                       executable(QStringLiteral("setsid"), QStringLiteral("/usr/bin/setsid")),
                       bashExecutable(),
                       QStringLiteral("-c"),
                       kSupervisor,
                       kSupervisorMarker,
                       detachedPidFile(),
                       definition.logFile,
                       QString::number(definition.restartSeconds),
                       definition.program} +
           definition.arguments;
}

std::optional<qint64> runningDetachedService() {
    QFile file(detachedPidFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 pid = file.readAll().trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return std::nullopt;
    // A pid the system has handed to another program since does not count.
    const QStringList command = commandLineOf(pid);
    if (command.size() < 5 || command.at(3) != kSupervisorMarker ||
        command.at(4) != detachedPidFile())
        return std::nullopt;
    return pid;
}

} // namespace quindle::platform
