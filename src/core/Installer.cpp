#include "core/Installer.h"

#include "core/AppsRoots.h"
#include "core/AtomicFile.h"
#include "core/BackgroundPool.h"
#include "core/LegacyMigration.h"
#include "core/PostedChange.h"
#include "core/ServiceScripts.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "platform/DesktopNouns.h"
#include "platform/InstallHints.h"
#include "platform/ProgramLocations.h"
#include "platform/VolumeLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <mutex>

namespace quindle {

namespace {

const QString kConfigName = QStringLiteral("quindle.conf");
const QString kDefaultDriveLine = QStringLiteral("NVMe=\"__NVME_DEFAULT__\"");

constexpr QFile::Permissions kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                           QFile::ExeOther;

// quindle.sh and the libraries it sources: the service cannot run without any of them.
bool isRequired(const QString &name) {
    return name == QLatin1String("quindle.sh") || name.startsWith(QLatin1String("lib-"));
}

// A value bash reads back unchanged from between double quotes.
QString bashDoubleQuoted(const QString &value) {
    QString out = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('$') ||
            c == QLatin1Char('`'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

QString inQuindle(const QString &name) {
    return paths::quindleDirectory() + QLatin1Char('/') + name;
}

// Replaces `destination` by a copy of `source`; the reason on failure.
std::optional<QString> replaceWithCopy(const QString &source, const QString &destination) {
    QFile existing(destination);
    if (existing.exists() && !existing.remove())
        return QStringLiteral("Could not replace %1: %2").arg(destination, existing.errorString());
    QFile file(source);
    if (!file.copy(destination))
        return QStringLiteral("Could not copy %1 to %2: %3")
            .arg(source, destination, file.errorString());
    if (destination.endsWith(QLatin1String(".sh")) &&
        !QFile::setPermissions(destination, kExecutable))
        return QStringLiteral("Could not make %1 executable.").arg(destination);
    return std::nullopt;
}

std::optional<QString> writeText(const QString &path, const QString &text) {
    if (auto error = writeFileAtomically(path, text.toUtf8()))
        return QStringLiteral("Could not write %1: %2").arg(path, *error);
    return std::nullopt;
}

} // namespace

std::shared_ptr<platform::ServiceManager> userServiceManager() {
    return platform::userServiceManager(&ServiceBridge::runProcessBlocking);
}

std::function<std::shared_ptr<platform::ServiceManager>()> detectOnce() {
    struct Cache {
        std::mutex mutex;
        std::shared_ptr<platform::ServiceManager> manager;
    };
    auto cache = std::make_shared<Cache>();
    return [cache] {
        const std::lock_guard lock(cache->mutex);
        if (!cache->manager)
            cache->manager = userServiceManager();
        return cache->manager;
    };
}

platform::ServiceDefinition serviceDefinition() {
    return {service::program(), service::arguments(service::watch), paths::serviceOutputLog(),
            platform::serviceSearchPath(), 30};
}

// One installation on a worker thread. Every change is posted to the installer, so the
// published fields only ever change on its thread, in the order they happened.
class Installer::Run {
public:
    Run(Installer *owner, platform::ServiceManager &manager, QString scripts, QString drivePath)
        : m_owner(owner)
        , m_manager(manager)
        , m_scripts(std::move(scripts))
        , m_drivePath(std::move(drivePath)) {}

    bool execute() {
        if (std::optional<QString> error = steps()) {
            phase(Phase::Step::Failed, *error);
            log(QStringLiteral("✗ Install failed: ") + *error);
            return false;
        }
        phase(Phase::Step::Done);
        fraction(1.0);
        log(QStringLiteral("✓ Install complete."));
        return true;
    }

private:
    std::optional<QString> steps() {
        phase(Phase::Step::MigratingLegacy);
        if (auto error =
                migrateLegacyFolder([this](const QString &line) { log(line); },
                                    [this](const QString &agent) { m_manager.retire(agent); }))
            return error;
        fraction(0.1);

        for (const QString &dir :
             {paths::quindleDirectory(), paths::stateDirectory(), paths::syncDirectory(),
              paths::localBinDirectory(), QFileInfo(m_manager.definitionFile()).path()})
            if (!QDir().mkpath(dir))
                return QStringLiteral("Could not create the folder %1.").arg(dir);

        if (auto error = copyScripts())
            return error;

        phase(Phase::Step::WritingConfig);
        if (!QFileInfo::exists(paths::configFile())) {
            const std::optional<QByteArray> bundled =
                m_scripts.isEmpty() ? std::nullopt
                                    : readWholeFile(m_scripts + QLatin1Char('/') + kConfigName);
            const QString templateText =
                bundled ? QString::fromUtf8(*bundled) : builtInConfigurationTemplate();
            if (auto error = writeText(paths::configFile(), freshConfiguration(templateText)))
                return error;
        }

        phase(Phase::Step::WritingCLI);
        const QString shim = paths::shimFile();
        if (auto error = writeText(shim, shimText()))
            return error;
        if (!QFile::setPermissions(shim, kExecutable))
            return QStringLiteral("Could not make %1 executable.").arg(shim);
        log(QStringLiteral("CLI shim installed at ") + shim);
        fraction(0.7);

        phase(Phase::Step::WritingService);
        const platform::ServiceDefinition definition = serviceDefinition();
        if (auto error = m_manager.install(definition))
            return error;
        log(m_manager.writtenNoun() + QStringLiteral(" written to ") + m_manager.definitionFile());
        fraction(0.85);

        phase(Phase::Step::LoadingService);
        const platform::CommandResult loaded = m_manager.load(definition);
        if (loaded.status != 0)
            return m_manager.controlProgram() + QStringLiteral(" could not load the service:\n") +
                   loaded.output.trimmed();
        log(m_manager.loadedNoun() + QStringLiteral(" loaded; watch loop will tick within 30s."));
        fraction(0.98);
        return std::nullopt;
    }

    QString freshConfiguration(const QString &templateText) const {
        return defaultConfiguration(templateText, m_drivePath, AppsRoots::current().value(0));
    }

    std::optional<QString> copyScripts() {
        if (m_scripts.isEmpty())
            return bundleMissingScriptsMessage();
        const QStringList table = scriptTable();
        for (qsizetype i = 0; i < table.size(); ++i) {
            const QString &name = table.at(i);
            const QString source = m_scripts + QLatin1Char('/') + name;
            const QString destination = inQuindle(name);
            const bool isConfig = name == kConfigName;
            if (isConfig && QFileInfo::exists(destination))
                continue; // the person's configuration is never replaced
            if (!QFileInfo::exists(source)) {
                if (isRequired(name))
                    return bundleMissingScriptsMessage();
                if (!isConfig)
                    log(QStringLiteral("⚠ Optional bundled script missing: ") + name);
                continue;
            }
            phase(Phase::Step::Copying, name);
            log(QStringLiteral("Copying ") + name + QStringLiteral(" → ") + destination);
            std::optional<QString> error;
            if (isConfig) {
                const std::optional<QByteArray> text = readWholeFile(source);
                error = text ? writeText(destination, freshConfiguration(QString::fromUtf8(*text)))
                             : QStringLiteral("Could not read %1.").arg(source);
            } else {
                error = replaceWithCopy(source, destination);
            }
            if (error)
                return error;
            fraction(0.1 + double(i + 1) / double(table.size()) * 0.4);
        }
        return std::nullopt;
    }

    template <typename Change> void post(Change change) { postChange(m_owner, change); }
    void phase(Phase::Step step, const QString &detail = {}) {
        post([step, detail](Installer &i) { i.m_phase = {step, detail}; });
    }
    void log(const QString &line) {
        post([line](Installer &i) { i.m_log << line; });
    }
    void fraction(double value) {
        post([value](Installer &i) { i.m_fraction = value; });
    }

    Installer *m_owner;
    platform::ServiceManager &m_manager;
    QString m_scripts;
    QString m_drivePath;
};

Installer::Installer(QObject *parent)
    : QObject(parent)
    , m_managers([] { return userServiceManager(); }) {}

Installer::Installer(ManagerSource managers, QString scriptsFolder, QObject *parent)
    : QObject(parent)
    , m_managers(std::move(managers))
    , m_scriptsFolder(std::move(scriptsFolder)) {}

Installer::~Installer() {
    m_worker.waitForFinished();
}

QString Installer::scriptsFolder() const {
    return m_scriptsFolder ? *m_scriptsFolder : bundledScriptsFolder();
}

QString Installer::bundledFolder(const QString &name, const QString &sourceTreeFolder) {
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                              QStringLiteral("/../Resources/") + name);
    if (QFileInfo(installed).isDir())
        return installed;
    const QString development =
        QStringLiteral(QUINDLE_SOURCE_DIR) + QLatin1Char('/') + sourceTreeFolder;
    return QFileInfo(development).isDir() ? development : QString();
}

QString Installer::bundledScriptsFolder() {
    return bundledFolder(QStringLiteral("Scripts"), QStringLiteral("service"));
}

std::optional<QString> Installer::installFolder() {
    const QString folder =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    if (!QFileInfo(folder + QStringLiteral("/Resources/Scripts")).isDir())
        return std::nullopt;
    return folder;
}

QString Installer::bundledLegalFolder() {
    return bundledFolder(QStringLiteral("Legal"), QStringLiteral("resources/Legal"));
}

QString Installer::bundledHelpFolder() {
    return bundledFolder(QStringLiteral("Help"), QStringLiteral("resources/Help"));
}

QFuture<bool> Installer::install() {
    if (m_running && !m_running->isFinished())
        return *m_running;
    m_log.clear();
    m_fraction = 0.0;
    m_phase = {};
    Q_EMIT changed();
    const QString scripts = scriptsFolder();
    m_worker = QtConcurrent::run(
        blockingPool(), [this, managers = m_managers, scripts, drive = m_drivePath] {
            const std::shared_ptr<platform::ServiceManager> manager = managers();
            return Run(this, *manager, scripts, drive).execute();
        });
    // Resolves from the event loop, after the changes the run posted here.
    m_running = whenFinished(m_worker, this, [](bool ok) { return ok; });
    return *m_running;
}

QFuture<QStringList> Installer::upgradeScriptsIfNeeded() {
    return QtConcurrent::run(blockingPool(), [managers = m_managers, scripts = scriptsFolder()] {
        QStringList replaced;
        if (!QFileInfo::exists(paths::serviceScript()) || scripts.isEmpty())
            return replaced;
        for (const QString &name : scriptTable()) {
            const QString source = scripts + QLatin1Char('/') + name;
            if (name == kConfigName || !QFileInfo::exists(source))
                continue;
            const QString destination = inQuindle(name);
            if (readWholeFile(source).value_or(QByteArray()) ==
                readWholeFile(destination).value_or(QByteArray()))
                continue;
            if (std::optional<QString> error = replaceWithCopy(source, destination)) {
                qWarning().noquote()
                    << QStringLiteral("Quindle: failed to upgrade %1: %2").arg(name, *error);
                continue;
            }
            replaced << name;
        }
        if (!replaced.isEmpty()) {
            const platform::CommandResult reload = managers()->load(serviceDefinition());
            if (reload.status != 0)
                qWarning().noquote()
                    << QStringLiteral("Quindle: the service did not restart after the upgrade: ") +
                           reload.output.trimmed();
        }
        return replaced;
    });
}

QFuture<Installer::PrepResult> Installer::prepDrive(const QString &path) {
    return QtConcurrent::run(blockingPool(), [path, scripts = scriptsFolder()]() -> PrepResult {
        if (scripts.isEmpty())
            return {false, prepMissingScriptsMessage()};
        platform::ChildCommand prep(
            platform::bashExecutable(),
            {scripts + QLatin1Char('/') + service::prepDriveScript, QStringLiteral("--auto")});
        prep.environment.insert(QStringLiteral("NVMe"), path);
        prep.channels = platform::ChildCommand::Channels::Combined;
        // It creates a folder and writes one small file: a minute means a hung drive.
        prep.deadline = std::chrono::minutes(1);
        const platform::ChildResult result = platform::ChildProcess::run(prep);
        if (result.outcome == platform::ChildResult::Outcome::FailedToStart)
            return {false, result.startError};
        return {result.succeeded(), platform::strictUtf8(result.output)};
    });
}

bool Installer::rcloneInstalled() {
    return !platform::findRclone().isEmpty();
}

QString Installer::rcloneHint() {
    const QString command = platform::installCommand(QStringLiteral("rclone"));
    return command.isEmpty() ? platform::runInstallInTerminal(QStringLiteral("rclone")) : command;
}

QStringList Installer::scriptTable() {
    // The libraries go first, so that an upgrade never leaves a new quindle.sh without them.
    return {QStringLiteral("lib-common.sh"),   QStringLiteral("lib-config.sh"),
            QStringLiteral("lib-probes.sh"),   QStringLiteral("lib-watch.sh"),
            QStringLiteral("lib-drive.sh"),    QStringLiteral("lib-selection.sh"),
            QStringLiteral("lib-pass.sh"),     QStringLiteral("lib-recover.sh"),
            QStringLiteral("lib-runs.sh"),     QStringLiteral("lib-rules.sh"),
            QStringLiteral("lib-rollback.sh"), QStringLiteral("lib-actionable.sh"),
            QStringLiteral("lib-scan.sh"),     QStringLiteral("lib-move-dir.sh"),
            QStringLiteral("lib-cloud.sh"),    QStringLiteral("lib-free-space.sh"),
            QStringLiteral("lib-backup.sh"),   service::rcloneHelperScript,
            QStringLiteral("quindle.sh"),      kConfigName,
            service::prepDriveScript};
}

QString Installer::defaultConfiguration(const QString &templateText, const QString &drivePath,
                                        const QString &appsRoot) {
    const QString drive = drivePath.isEmpty() ? platform::defaultNVMePath() : drivePath;
    QStringList lines = templateText.split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line == kDefaultDriveLine)
            line = QStringLiteral("NVMe=") + bashDoubleQuoted(drive);
    // The service sizes the first apps root for Free Up Space; the Apps window may know one
    // before the service has a file to tell.
    if (!appsRoot.isEmpty() && appsRoot != platform::defaultAppsRoot())
        lines.insert(lines.size() - (lines.constLast().isEmpty() ? 1 : 0),
                     QStringLiteral("APPS_ROOT=") + bashDoubleQuoted(appsRoot));
    return lines.join(QLatin1Char('\n'));
}

QString Installer::builtInConfigurationTemplate() {
    // The service folder's own template, compiled in: the installation needs no second copy.
    QFile shipped(QStringLiteral(":/quindle/quindle.conf"));
    return shipped.open(QIODevice::ReadOnly) ? QString::fromUtf8(shipped.readAll()) : QString();
}

QString Installer::shimText() {
    return QStringLiteral("#!/bin/bash\nexec ") + bashDoubleQuoted(paths::serviceScript()) +
           QStringLiteral(" \"$@\"");
}

QString Installer::upgradedLogLine(const QStringList &names) {
    return QStringLiteral("Quindle: upgraded %1 script(s) on launch: %2")
        .arg(names.size())
        .arg(names.join(QStringLiteral(", ")));
}

QString Installer::bundleMissingScriptsMessage() {
    return platform::installFolderNoun() +
           QStringLiteral(" is missing its Scripts folder. Reinstall the app from a fresh build.");
}

QString Installer::prepMissingScriptsMessage() {
    return QStringLiteral("Bundle missing Scripts directory.");
}

} // namespace quindle
