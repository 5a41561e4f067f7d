#include "platform/SystemdUserService.h"

#include "platform/AutostartEntry.h"
#include "platform/DetachedService.h"
#include "platform/ServiceLocations.h"
#include "platform/WholeFile.h"

#include <QFile>
#include <QFileInfo>

namespace quindle::platform {

namespace {

const QString kUnitName = QStringLiteral("quindle-service.service");

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
        if (auto error = writeWholeFile(definitionFile(), *text))
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

    // Stopped until the next login, as the detached service is: the unit stays enabled.
    CommandResult unload() override { return systemctl({QStringLiteral("stop"), kUnitName}); }

    bool isLoaded() override {
        return systemctl({QStringLiteral("is-active"), QStringLiteral("--quiet"), kUnitName},
                         serviceQueryTimeout)
                   .status == 0;
    }

    void retire(const QString &file) override {
        systemctl({QStringLiteral("disable"), QStringLiteral("--now"), QFileInfo(file).fileName()});
    }

    std::optional<QString> remove() override {
        systemctl({QStringLiteral("disable"), QStringLiteral("--now"), kUnitName});
        QFile unit(definitionFile());
        if (unit.exists() && !unit.remove())
            return unit.errorString();
        systemctl({QStringLiteral("daemon-reload")});
        return std::nullopt;
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

} // namespace

std::unique_ptr<ServiceManager> makeSystemdUserManager(CommandRunner runner) {
    return std::make_unique<SystemdUserManager>(std::move(runner));
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

} // namespace quindle::platform
