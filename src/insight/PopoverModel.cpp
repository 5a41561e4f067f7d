#include "insight/PopoverModel.h"

#include "core/JsonFormat.h"
#include "core/ServiceScripts.h"
#include "insight/FstabAuditor.h"
#include "mover/LocalFolderMover.h"
#include "platform/DesktopNouns.h"

#include <QLocale>
#include <QPointer>

#include <algorithm>

namespace quindle {

PopoverModel::PopoverModel(StatusModel &status, const LocalFolderMover &mover, FstabAuditor *fstab,
                           QObject *parent)
    : QObject(parent)
    , m_status(status)
    , m_mover(mover)
    , m_fstab(fstab) {
    connect(&m_status, &StatusModel::changed, this, &PopoverModel::changed);
    connect(&m_mover, &LocalFolderMover::jobsChanged, this, &PopoverModel::changed);
    if (m_fstab)
        connect(m_fstab, &FstabAuditor::changed, this, &PopoverModel::changed);
}

bool PopoverModel::showsFstabRow() const {
    return m_fstab && m_fstab->hasLegacyEntry();
}

QString PopoverModel::fstabRemovalError() const {
    return m_fstab ? m_fstab->removalError().value_or(QString()) : QString();
}

void PopoverModel::removeFstabEntry(const Confirm &confirm) {
    if (!m_fstab || m_fstab->isRemoving() || !confirm)
        return;
    const Confirmation ask{{},
                           FstabAuditor::removalTitle(),
                           FstabAuditor::removalText(),
                           FstabAuditor::removalTitle()};
    confirm(ask, [fstab = QPointer<FstabAuditor>(m_fstab)] {
        if (fstab)
            fstab->remove();
    });
}

void PopoverModel::refreshDetections() {
    if (m_fstab)
        m_fstab->refresh();
}

IconState PopoverModel::iconState() const {
    return quindle::iconState(m_status.status(), m_status.serviceInstalled());
}

PopoverModel::Page PopoverModel::page() const {
    return page(m_status.serviceInstalled(), m_status.serviceLoaded(),
                m_status.status().has_value());
}

PopoverModel::Page PopoverModel::page(bool installed, bool loaded, bool hasStatus) {
    if (!installed)
        return Page::NotInstalled;
    if (!loaded)
        return Page::NotLoaded;
    return hasStatus ? Page::Status : Page::WaitingForStatus;
}

QString PopoverModel::messageText(Page page) {
    switch (page) {
    case Page::NotInstalled:
        return QStringLiteral("Backend service is not installed.\nRun Setup to install it.");
    case Page::NotLoaded:
        return QStringLiteral("The background watch loop is not loaded. Click Start to load it via "
                              "%1 — it will then auto-start at every login.")
            .arg(platform::serviceManagerNoun());
    case Page::WaitingForStatus:
        return QStringLiteral("Service is running — waiting for first status tick…");
    case Page::Status:
        break;
    }
    return {};
}

QString PopoverModel::messageButton(Page page) {
    switch (page) {
    case Page::NotInstalled:
        return QStringLiteral("Run Setup…");
    case Page::NotLoaded:
        return QStringLiteral("Start Service");
    default:
        return {};
    }
}

bool PopoverModel::commandEnabled(const QString &command, const ServiceStatus &status,
                                  const QStringList &inFlight) {
    if (command == service::pause)
        return !inFlight.contains(service::pause) && !inFlight.contains(service::resume);
    // The button asks first and runs the confirmed form.
    if (command == service::rollback)
        return !inFlight.contains(confirmedRollback);
    if (inFlight.contains(command))
        return false;
    if (command == service::relocateNow || command == service::dryRun)
        return !status.paused && status.mounted;
    return true;
}

bool PopoverModel::commandEnabled(const QString &command) const {
    return m_status.status() &&
           commandEnabled(command, *m_status.status(), m_status.actionsInFlight());
}

QString PopoverModel::pauseLabel() const {
    return m_status.status() && m_status.status()->paused ? QStringLiteral("Resume")
                                                          : QStringLiteral("Pause");
}

std::optional<Confirmation> PopoverModel::confirmation(const QString &command,
                                                       const QString &drivePath) {
    if (command == service::rollback)
        return Confirmation{
            confirmedRollback, QStringLiteral("Roll back the last batch?"),
            QStringLiteral("Every move recorded in the last batch will be reversed. Deletes (from "
                           "app-cache cleanup or delete_old rules) cannot be undone."),
            QStringLiteral("Roll back")};
    if (command == service::ejectNVMe)
        return Confirmation{
            service::ejectNVMe, QStringLiteral("Eject NVMe?"),
            QStringLiteral("This will:\n  • Pause automatic actions\n  • Quit %1\n  • Unmount "
                           "%2\n\nThe drive can then be safely disconnected. The service stays "
                           "running and will detect when NVMe is reconnected.")
                .arg(platform::driveDependentTools(), drivePath),
            QStringLiteral("Eject")};
    return std::nullopt;
}

void PopoverModel::press(const QString &command, const Confirm &confirm) {
    if (command == StatusModel::stopKey) {
        m_status.stopService();
        return;
    }
    const std::optional<ServiceStatus> &status = m_status.status();
    if (command == service::pause && status && status->paused) {
        m_status.run(service::resume);
        return;
    }
    const std::optional<Confirmation> ask =
        confirmation(command, status ? status->nvme_path : QString());
    const QString run = ask ? ask->command : command;
    if (m_status.isInFlight(run))
        return; // a second click while the first still runs does nothing
    if (!ask) {
        m_status.run(run);
        return;
    }
    if (!confirm)
        return;
    confirm(*ask, [model = QPointer<PopoverModel>(this), run] {
        // The answer comes later: the popover may be gone, or the same run started meanwhile.
        if (model && !model->m_status.isInFlight(run))
            model->m_status.run(run);
    });
}

MoveCounts PopoverModel::countMoves(const QList<MoveJob> &jobs) {
    MoveCounts counts;
    for (const MoveJob &job : jobs) {
        if (job.manifest.phase == MovePhase::WaitingForDrive)
            ++counts.waiting;
        else if (!isTerminal(job.manifest.phase))
            ++counts.underWay;
    }
    return counts;
}

QString PopoverModel::movesText(const MoveCounts &counts) {
    QStringList parts;
    if (counts.underWay == 1)
        parts << QStringLiteral("1 move in progress");
    else if (counts.underWay > 1)
        parts << QStringLiteral("%1 moves in progress").arg(counts.underWay);
    if (counts.waiting)
        parts << QStringLiteral("%1 waiting for the drive").arg(counts.waiting);
    return parts.join(QStringLiteral(" · "));
}

QString PopoverModel::movesText() const {
    return movesText(countMoves(m_mover.jobs()));
}

DiskFigures PopoverModel::disk(const std::optional<VolumeSpace> &space) {
    if (!space)
        return {QStringLiteral("Not mounted"), {}, 0};
    const qint64 used = space->usedBytes();
    const int permille = static_cast<int>(std::min<qint64>(1000, used * 1000 / space->totalBytes));
    return {sizeText(space->freeBytes) + QStringLiteral(" free"),
            shareText(used, space->totalBytes) + QStringLiteral(" used"), permille};
}

std::optional<VolumeSpace> PopoverModel::space(const std::optional<VolumeSpace> &measured,
                                               std::optional<qint64> freeGB,
                                               std::optional<qint64> totalGB) {
    if (measured)
        return measured;
    if (!freeGB || !totalGB || *totalGB < 1)
        return std::nullopt;
    return VolumeSpace{*freeGB * bytesPerGB, *totalGB * bytesPerGB};
}

PopoverModel::SpaceLevel PopoverModel::internalSpace(const ServiceStatus &status) {
    if (status.internal_free_gb <= status.low_space_critical_gb)
        return SpaceLevel::Critical;
    if (status.internal_free_gb <= status.low_space_warn_gb)
        return SpaceLevel::Low;
    return SpaceLevel::Normal;
}

QString PopoverModel::driveText(const ServiceStatus &status) {
    if (!status.mounted)
        return QStringLiteral("Disconnected");
    if (!status.marker_ok)
        return QStringLiteral("Mounted but marker missing");
    return QStringLiteral("Mounted at ") + status.nvme_path;
}

QString PopoverModel::autoActionsText(const ServiceStatus &status) {
    if (status.paused)
        return QStringLiteral("Paused");
    return status.auto_enabled ? QStringLiteral("Enabled")
                               : QStringLiteral("Disabled (monitor only)");
}

QString PopoverModel::powerText(const ServiceStatus &status) {
    const QString level =
        status.battery_pct ? QStringLiteral(" — %1 %").arg(*status.battery_pct) : QString();
    if (status.on_battery.value_or(false))
        return QStringLiteral("On battery") + level;
    return QStringLiteral("AC power") + level;
}

QString PopoverModel::idleText(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

// The service writes UTC; people read their own clock.
QString PopoverModel::lastRunText(const std::optional<QString> &lastRun) {
    if (!lastRun)
        return QStringLiteral("Not yet");
    const std::optional<QDateTime> when = parseIsoDate(*lastRun);
    return when ? QLocale().toString(when->toLocalTime(), QLocale::ShortFormat) : *lastRun;
}

QString PopoverModel::summaryText(const ServiceStatus &status) {
    return QStringLiteral("%1 rules · %2 apps · Daily run at %3:00")
        .arg(status.rule_count)
        .arg(status.app_cache_path_count)
        .arg(status.auto_relocate_hour);
}

QString PopoverModel::output() const {
    // Cleared means this action's output; a later action's shows even when its text is the same.
    if (m_clearedAction == m_status.finishedActions())
        return {};
    return m_status.actionOutput();
}

void PopoverModel::clearOutput() {
    m_clearedAction = m_status.finishedActions();
    Q_EMIT changed();
}

} // namespace quindle
