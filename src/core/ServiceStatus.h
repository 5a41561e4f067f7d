#pragma once

#include "core/VolumeSpace.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace quindle {

// What the background service last wrote to state/status.json. Keys keep the file's snake case.
struct ServiceStatus {
    QString timestamp;
    qint64 version = 0;
    QString nvme_path; // empty: the service knows no drive path
    bool mounted = false;
    bool marker_ok = false;
    std::optional<qint64> nvme_free_gb;
    std::optional<qint64> nvme_total_gb;
    qint64 internal_free_gb = 0;
    qint64 internal_total_gb = 0;
    qint64 idle_secs = 0;
    bool quiet_hours = false;
    bool paused = false;
    bool auto_enabled = false;
    std::optional<QString> last_run;
    std::optional<QString> last_event;
    qint64 low_space_warn_gb = 0;
    qint64 low_space_critical_gb = 0;
    qint64 auto_relocate_hour = 0;
    QString quiet_hours_blocked;
    qint64 rule_count = 0;
    qint64 app_cache_path_count = 0;
    std::optional<QString> quiet_mode;
    std::optional<QString> quiet_reason;
    std::optional<qint64> smart_idle_minutes;
    std::optional<qint64> smart_min_battery;
    std::optional<bool> smart_respect_meetings;
    std::optional<bool> on_battery;
    std::optional<qint64> battery_pct;
    std::optional<bool> meeting_active;

    // Measured by the application when it read the file; the service writes whole GB only.
    std::optional<VolumeSpace> internal_space;
    std::optional<VolumeSpace> nvme_space;

    // "schedule" when the service did not say.
    QString effectiveQuietMode() const { return quiet_mode.value_or(QStringLiteral("schedule")); }

    bool operator==(const ServiceStatus &) const = default;

    // The status, or a sentence saying why the text is not one (not JSON, a key missing or of the
    // wrong type).
    static std::variant<ServiceStatus, QString> decode(const QByteArray &json);
};

// Single keys read from the raw status file by components that need nothing else. Each is
// nothing when the file is missing or unreadable or the key is absent or of another type, even
// when the file as a whole would not decode.
struct StatusFileKeys {
    std::optional<QString> nvmePath;
    std::optional<bool> mounted;
    std::optional<QString> nvmeUUID;
    std::optional<QString> volumeUUID;

    static StatusFileKeys read(); // ~/.quindle/state/status.json, fresh on every call
    static StatusFileKeys fromJson(const QByteArray &json);
};

} // namespace quindle
