#include "core/ServiceStatus.h"

#include "core/AtomicFile.h"
#include "core/JsonFields.h"
#include "core/StatePaths.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace quindle {

std::variant<ServiceStatus, QString> ServiceStatus::decode(const QByteArray &json) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("The status file is not valid JSON (%1 at offset %2).")
            .arg(parseError.errorString())
            .arg(parseError.offset);
    if (!document.isObject())
        return QStringLiteral("The status file does not hold a JSON object.");

    JsonFields f(document.object());
    const auto key = [](const char *name) { return QLatin1String(name); };
    ServiceStatus s;
    s.timestamp = f.requiredString(key("timestamp"));
    s.version = f.requiredInteger(key("version"));
    s.nvme_path = f.requiredString(key("nvme_path"));
    s.mounted = f.requiredBool(key("mounted"));
    s.marker_ok = f.requiredBool(key("marker_ok"));
    s.nvme_free_gb = f.optionalInteger(key("nvme_free_gb"));
    s.nvme_total_gb = f.optionalInteger(key("nvme_total_gb"));
    s.internal_free_gb = f.requiredInteger(key("internal_free_gb"));
    s.internal_total_gb = f.requiredInteger(key("internal_total_gb"));
    s.idle_secs = f.requiredInteger(key("idle_secs"));
    s.quiet_hours = f.requiredBool(key("quiet_hours"));
    s.paused = f.requiredBool(key("paused"));
    s.auto_enabled = f.requiredBool(key("auto_enabled"));
    s.last_run = f.optionalString(key("last_run"));
    s.last_event = f.optionalString(key("last_event"));
    s.low_space_warn_gb = f.requiredInteger(key("low_space_warn_gb"));
    s.low_space_critical_gb = f.requiredInteger(key("low_space_critical_gb"));
    s.auto_relocate_hour = f.requiredInteger(key("auto_relocate_hour"));
    s.quiet_hours_blocked = f.requiredString(key("quiet_hours_blocked"));
    s.rule_count = f.requiredInteger(key("rule_count"));
    s.app_cache_path_count = f.requiredInteger(key("app_cache_path_count"));
    s.quiet_mode = f.optionalString(key("quiet_mode"));
    s.quiet_reason = f.optionalString(key("quiet_reason"));
    s.smart_idle_minutes = f.optionalInteger(key("smart_idle_minutes"));
    s.smart_min_battery = f.optionalInteger(key("smart_min_battery"));
    s.smart_respect_meetings = f.optionalBool(key("smart_respect_meetings"));
    s.on_battery = f.optionalBool(key("on_battery"));
    s.battery_pct = f.optionalInteger(key("battery_pct"));
    s.meeting_active = f.optionalBool(key("meeting_active"));
    if (!f.ok())
        return f.error();
    return s;
}

StatusFileKeys StatusFileKeys::fromJson(const QByteArray &json) {
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const auto text = [&](const char *name) -> std::optional<QString> {
        const QJsonValue value = object.value(QLatin1String(name));
        return value.isString() ? std::optional(value.toString()) : std::nullopt;
    };
    StatusFileKeys keys;
    keys.nvmePath = text("nvme_path");
    keys.nvmeUUID = text("nvme_uuid");
    keys.volumeUUID = text("volume_uuid");
    const QJsonValue mounted = object.value(QLatin1String("mounted"));
    if (mounted.isBool())
        keys.mounted = mounted.toBool();
    return keys;
}

StatusFileKeys StatusFileKeys::read() {
    const std::optional<QByteArray> bytes = readWholeFile(paths::statusFile());
    return bytes ? fromJson(*bytes) : StatusFileKeys{};
}

} // namespace quindle
