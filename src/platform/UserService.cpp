#include "platform/UserService.h"

#include "platform/HomeDirectory.h"
#include "platform/ProgramLocations.h"
#include "platform/ServiceLocations.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace quindle::platform {

namespace {

const QString kUnitName = QStringLiteral("quindle-service.service");
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

std::optional<QString> writeWhole(const QString &path, const QString &text) {
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("Could not create the folder %1.").arg(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        return QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

QString executable(const QString &name, const QString &fallback) {
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? fallback : found;
}

// The characters a desktop entry reserves in Exec arguments.
bool needsDesktopQuoting(const QString &argument) {
    if (argument.isEmpty())
        return true;
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (const QChar c : argument)
        if (reserved.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

// The string escapes every desktop-entry value goes through.
QString desktopEntryString(const QString &value) {
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    if (out.startsWith(QLatin1Char(' ')))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

// --- /proc -------------------------------------------------------------------------------------

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

// --- managers ----------------------------------------------------------------------------------

class SystemdUserManager final : public ServiceManager {
public:
    explicit SystemdUserManager(CommandRunner runner)
        : m_run(std::move(runner)) {}

    ServiceManagerKind kind() const override { return ServiceManagerKind::SystemdUser; }
    QString definitionFile() const override { return serviceUnitFile(); }

    std::optional<QString> install(const ServiceDefinition &definition) override {
        const std::optional<QString> text = serviceUnitText(definition);
        if (!text)
            return QStringLiteral("The log file path %1 cannot be written into a systemd unit.")
                .arg(definition.logFile);
        if (auto error = writeWhole(definitionFile(), *text))
            return error;
        // A detached start left over from a machine without a user systemd would run twice.
        return removeAutostartEntry(detachedAutostartFileName());
    }

    CommandResult load(const ServiceDefinition &) override {
        unload();
        const CommandResult reload = systemctl({QStringLiteral("daemon-reload")});
        if (reload.status != 0)
            return reload;
        return systemctl({QStringLiteral("enable"), QStringLiteral("--now"), kUnitName});
    }

    CommandResult unload() override {
        return systemctl({QStringLiteral("disable"), QStringLiteral("--now"), kUnitName});
    }

    bool isLoaded() override {
        return systemctl({QStringLiteral("is-active"), QStringLiteral("--quiet"), kUnitName},
                         serviceQueryTimeout)
                   .status == 0;
    }

    void retire(const QString &file) override {
        systemctl({QStringLiteral("disable"), QStringLiteral("--now"), QFileInfo(file).fileName()});
    }

    QString writtenNoun() const override { return QStringLiteral("Service unit"); }
    QString loadedNoun() const override { return QStringLiteral("Service unit"); }
    QString controlProgram() const override { return QStringLiteral("systemctl"); }

private:
    CommandResult systemctl(const QStringList &args,
                            std::chrono::milliseconds timeout = serviceControlTimeout) {
        return m_run(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + args,
                     timeout);
    }

    CommandRunner m_run;
};

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

    QString writtenNoun() const override { return QStringLiteral("Autostart entry"); }
    QString loadedNoun() const override { return QStringLiteral("Service"); }
    QString controlProgram() const override { return QStringLiteral("setsid"); }
};

QString quoteForSystemd(const QString &word, bool doubleDollar) {
    QString out = QStringLiteral("\"");
    for (const QChar c : word) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '%':
            out += QStringLiteral("%%");
            break;
        case '$':
            out += doubleDollar ? QStringLiteral("$$") : QStringLiteral("$");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

} // namespace

QString serviceSearchPath() {
    return QStringLiteral("/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");
}

std::unique_ptr<ServiceManager> makeServiceManager(ServiceManagerKind kind, CommandRunner runner) {
    if (kind == ServiceManagerKind::SystemdUser)
        return std::make_unique<SystemdUserManager>(std::move(runner));
    return std::make_unique<DetachedManager>();
}

std::unique_ptr<ServiceManager> userServiceManager(CommandRunner runner) {
    return makeServiceManager(detectServiceManager(), std::move(runner));
}

QString systemdExecWord(const QString &word, bool isProgram) {
    return quoteForSystemd(word, !isProgram);
}

std::optional<QString> serviceUnitText(const ServiceDefinition &definition) {
    // StandardOutput= takes the rest of the line as the path: specifiers only, no quoting.
    for (const QChar c : definition.logFile)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    QString logFile = definition.logFile;
    logFile.replace(QLatin1Char('%'), QStringLiteral("%%"));

    QStringList exec{systemdExecWord(definition.program, true)};
    for (const QString &argument : definition.arguments)
        exec << systemdExecWord(argument);

    return QStringLiteral("[Unit]\n"
                          "Description=Quindle background service\n"
                          "\n"
                          "[Service]\n"
                          "Type=simple\n"
                          "ExecStart=%1\n"
                          "Environment=%2\n"
                          "Restart=always\n"
                          "RestartSec=%3\n"
                          "StandardOutput=append:%4\n"
                          "StandardError=append:%4\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=default.target\n")
        .arg(exec.join(QLatin1Char(' ')),
             quoteForSystemd(QStringLiteral("PATH=") + definition.searchPath, false),
             QString::number(definition.restartSeconds), logFile);
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

QString desktopExecArgument(const QString &argument) {
    QString out;
    if (needsDesktopQuoting(argument)) {
        out = QStringLiteral("\"");
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            out += c;
        }
        out += QLatin1Char('"');
    } else {
        out = argument;
    }
    return out.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

QString autostartEntryText(const AutostartEntry &entry) {
    QStringList exec;
    for (const QString &argument : entry.command)
        exec << desktopExecArgument(argument);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=%2\n"
                          "Exec=%3\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(desktopEntryString(entry.name), desktopEntryString(entry.comment),
             desktopEntryString(exec.join(QLatin1Char(' '))));
}

QString autostartEntryFile(const QString &fileName) {
    return autostartDirectory() + QLatin1Char('/') + fileName;
}

std::optional<QString> writeAutostartEntry(const QString &fileName, const AutostartEntry &entry) {
    return writeWhole(autostartEntryFile(fileName), autostartEntryText(entry));
}

std::optional<QString> removeAutostartEntry(const QString &fileName) {
    QFile file(autostartEntryFile(fileName));
    if (!file.exists() || file.remove())
        return std::nullopt;
    return QStringLiteral("Could not remove %1: %2").arg(file.fileName(), file.errorString());
}

bool autostartEntryEnabled(const QString &fileName) {
    QFile file(autostartEntryFile(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inMainGroup = false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

QString tildePath(const QString &path) {
    const QString home = homePath();
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

QString terminalNoun() {
    return QStringLiteral("a terminal");
}

} // namespace quindle::platform
