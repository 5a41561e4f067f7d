#include "core/StatusModel.h"

#include "core/BackgroundPool.h"
#include "core/ServiceScripts.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "platform/HomeDirectory.h"

#include <QFile>
#include <QStorageInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

IconState iconState(const std::optional<ServiceStatus> &status, bool installed) {
    if (!installed)
        return IconState::NotInstalled;
    if (!status)
        return IconState::NoStatus;
    if (status->paused)
        return IconState::Paused;
    if (!(status->mounted && status->marker_ok))
        return IconState::DriveMissing;
    if (status->internal_free_gb <= status->low_space_critical_gb)
        return IconState::Critical;
    if (status->internal_free_gb <= status->low_space_warn_gb)
        return IconState::Low;
    return IconState::Normal;
}

struct StatusModel::Snapshot {
    bool installed = false;
    bool loaded = false;
    QString definitionFile;
    std::optional<ServiceStatus> status;
    std::optional<QString> error; // not set for a file that simply is not there
};

namespace {

// What the service wrote, with free space measured now instead of at its last tick.
std::variant<ServiceStatus, QString, std::monostate> readStatus() {
    QFile file(paths::statusFile());
    if (!file.exists())
        return std::monostate{};
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Could not read %1: %2").arg(file.fileName(), file.errorString());
    auto decoded = ServiceStatus::decode(file.readAll());
    if (ServiceStatus *status = std::get_if<ServiceStatus>(&decoded)) {
        // The internal disk is the one that holds the home folder.
        status->internal_space = VolumeSpace::of(platform::homePath());
        if (status->internal_space)
            status->internal_free_gb = status->internal_space->freeBytes / bytesPerGB;
        if (!status->nvme_path.isEmpty())
            status->nvme_space = VolumeSpace::of(status->nvme_path);
        if (status->nvme_space)
            status->nvme_free_gb = status->nvme_space->freeBytes / bytesPerGB;
        return *status;
    }
    return std::get<QString>(decoded);
}

} // namespace

StatusModel::StatusModel(QObject *parent)
    : StatusModel(detectOnce(), parent) {}

StatusModel::StatusModel(Installer::ManagerSource managers, QObject *parent)
    : QObject(parent)
    , m_managers(std::move(managers)) {
    m_timer.setInterval(pollInterval);
    connect(&m_timer, &QTimer::timeout, this, [this] { refreshAsync(); });
}

std::optional<QString> StatusModel::reportedDrivePath() const {
    if (!m_status || m_status->nvme_path.isEmpty())
        return std::nullopt;
    return m_status->nvme_path;
}

void StatusModel::startPolling() {
    refreshAsync();
    m_timer.start();
}

QFuture<void> StatusModel::refreshAsync() {
    auto read = QtConcurrent::run(blockingPool(), [managers = m_managers] {
        Snapshot snapshot;
        snapshot.installed = paths::serviceInstalled();
        const auto manager = managers();
        snapshot.loaded = manager->isLoaded();
        snapshot.definitionFile = manager->definitionFile();
        auto read = readStatus();
        if (auto *status = std::get_if<ServiceStatus>(&read))
            snapshot.status = std::move(*status);
        else if (auto *error = std::get_if<QString>(&read))
            snapshot.error = *error;
        return snapshot;
    });
    return whenFinished(read, this, [this](const Snapshot &snapshot) { apply(snapshot); });
}

void StatusModel::apply(const Snapshot &snapshot) {
    m_installed = snapshot.installed;
    m_loaded = snapshot.loaded;
    m_definitionFile = snapshot.definitionFile;
    if (snapshot.status) {
        m_status = snapshot.status;
        if (m_errorFromRefresh)
            m_lastError.reset();
    } else {
        if (snapshot.error)
            setError(*snapshot.error, true);
        // Between two rewrites of a running service the last status stays on screen.
        if (!m_loaded)
            m_status.reset();
    }
    Q_EMIT changed();
}

void StatusModel::setError(const QString &error, bool fromRefresh) {
    m_lastError = error;
    m_errorFromRefresh = fromRefresh;
}

QFuture<ProcessOutput> StatusModel::action(const QString &key, QFuture<ProcessOutput> work,
                                           std::function<QString(const ProcessOutput &)> failure) {
    ++m_inFlight[key];
    Q_EMIT changed();
    return whenFinished(work, this,
                        [this, key, failure](const ProcessOutput &result) {
                            m_actionOutput = result.output.trimmed();
                            ++m_finishedActions;
                            if (result.status != 0)
                                setError(failure(result), false);
                            else if (m_lastError && !m_errorFromRefresh)
                                m_lastError.reset(); // a later success replaces an action's failure
                            Q_EMIT changed();
                            return whenFinished(refreshAsync(), this, [this, key, result] {
                                if (--m_inFlight[key] <= 0)
                                    m_inFlight.remove(key);
                                Q_EMIT changed();
                                return result;
                            });
                        })
        .unwrap();
}

QFuture<ProcessOutput> StatusModel::run(const QString &command) {
    const QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString subCommand = words.value(0);
    return action(command,
                  ServiceBridge::runProcess(service::program(),
                                            service::arguments(subCommand, words.mid(1)),
                                            service::subCommandTimeout),
                  [this](const ProcessOutput &result) {
                      return QStringLiteral("exit %1 — ").arg(result.status) +
                             m_actionOutput.left(errorExcerpt);
                  });
}

QFuture<ProcessOutput> StatusModel::startService() {
    auto work = QtConcurrent::run(
        blockingPool(), [managers = m_managers] { return managers()->load(serviceDefinition()); });
    return action(startKey, work, [this](const ProcessOutput &) {
        return QStringLiteral("Start failed: ") + m_actionOutput.left(errorExcerpt);
    });
}

QFuture<ProcessOutput> StatusModel::stopService() {
    auto work =
        QtConcurrent::run(blockingPool(), [managers = m_managers] { return managers()->unload(); });
    return action(stopKey, work, [this](const ProcessOutput &) {
        return QStringLiteral("Stop failed: ") + m_actionOutput.left(errorExcerpt);
    });
}

QString StatusModel::headerSubtitle() const {
    return headerSubtitle(m_installed, m_loaded, m_status);
}

QString StatusModel::headerSubtitle(bool installed, bool loaded,
                                    const std::optional<ServiceStatus> &status) {
    if (!installed)
        return QStringLiteral("Service not installed");
    if (!loaded)
        return QStringLiteral("Service stopped — click Start to begin");
    if (!status)
        return QStringLiteral("Service starting…");
    if (status->paused)
        return QStringLiteral("Paused — automatic actions disabled");
    if (!status->mounted)
        return QStringLiteral("NVMe not mounted");
    if (!status->marker_ok)
        return QStringLiteral("Wrong disk at ") + status->nvme_path;
    if (status->internal_free_gb <= status->low_space_critical_gb)
        return QStringLiteral("Critical — internal disk full");
    if (status->internal_free_gb <= status->low_space_warn_gb)
        return QStringLiteral("Internal disk low");
    return QStringLiteral("All systems normal");
}

QString StatusModel::quietHoursDescription(const ServiceStatus &status) {
    const QString mode = status.effectiveQuietMode();
    if (mode == QLatin1String("always-on"))
        return QStringLiteral("Always on • never quiet");
    if (mode == QLatin1String("smart")) {
        if (!status.quiet_hours)
            return QStringLiteral("Smart • OK to run");
        return QStringLiteral("Smart • active — ") +
               status.quiet_reason.value_or(QStringLiteral("user busy"));
    }
    return status.quiet_hours_blocked +
           (status.quiet_hours ? QStringLiteral("  • active now") : QString());
}

} // namespace quindle
