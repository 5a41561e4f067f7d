#include "app/CommandLine.h"

#include "core/AtomicFile.h"
#include "core/ServiceStatus.h"
#include "core/StatePaths.h"

#include <QTextStream>

namespace quindle {

namespace {

template <typename T> QString optionalText(const std::optional<T> &value) {
    if (!value)
        return QStringLiteral("—");
    if constexpr (std::is_same_v<T, bool>)
        return *value ? QStringLiteral("yes") : QStringLiteral("no");
    else if constexpr (std::is_same_v<T, QString>)
        return *value;
    else
        return QString::number(*value);
}

QString yesNo(bool value) {
    return optionalText(std::optional<bool>(value));
}

} // namespace

int runStatus(const QStringList &) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString file = paths::statusFile();
    const std::optional<QByteArray> bytes = readWholeFile(file);
    if (!bytes) {
        err << "No status yet: the background service has not written " << file << ".\n";
        return 1;
    }
    const auto decoded = ServiceStatus::decode(*bytes);
    if (const QString *error = std::get_if<QString>(&decoded)) {
        err << "Could not read " << file << ": " << *error << '\n';
        return 1;
    }
    const ServiceStatus &s = std::get<ServiceStatus>(decoded);
    const QList<std::pair<const char *, QString>> rows{
        {"Written", s.timestamp},
        {"Service version", QString::number(s.version)},
        {"NVMe path", s.nvme_path.isEmpty() ? QStringLiteral("(none)") : s.nvme_path},
        {"Mounted", yesNo(s.mounted)},
        {"Marker OK", yesNo(s.marker_ok)},
        {"NVMe free / total GB",
         optionalText(s.nvme_free_gb) + QStringLiteral(" / ") + optionalText(s.nvme_total_gb)},
        {"Internal free / total GB",
         QStringLiteral("%1 / %2").arg(s.internal_free_gb).arg(s.internal_total_gb)},
        {"Idle seconds", QString::number(s.idle_secs)},
        {"Quiet mode", s.effectiveQuietMode()},
        {"Quiet now",
         yesNo(s.quiet_hours) +
             (s.quiet_reason ? QStringLiteral(" (%1)").arg(*s.quiet_reason) : QString())},
        {"Quiet hours", s.quiet_hours_blocked},
        {"Paused", yesNo(s.paused)},
        {"Automatic actions", yesNo(s.auto_enabled)},
        {"Warn / critical GB",
         QStringLiteral("%1 / %2").arg(s.low_space_warn_gb).arg(s.low_space_critical_gb)},
        {"Daily pass hour", QString::number(s.auto_relocate_hour)},
        {"Rules", QString::number(s.rule_count)},
        {"App cache paths", QString::number(s.app_cache_path_count)},
        {"On battery", optionalText(s.on_battery)},
        {"Battery %", optionalText(s.battery_pct)},
        {"Meeting", optionalText(s.meeting_active)},
        {"Last run", optionalText(s.last_run)},
        {"Last event", optionalText(s.last_event)},
    };
    for (const auto &[label, value] : rows)
        out << QString::fromUtf8(label).leftJustified(26) << value << '\n';
    return 0;
}

} // namespace quindle
