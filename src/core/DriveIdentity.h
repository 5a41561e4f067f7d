#pragma once

#include <QString>

#include <optional>

namespace quindle {

// The volume UUID of the drive that is the NVMe now: the service's status file first, else the
// marker on the drive. Nothing means unknown — never a mismatch. Reads fresh on every call.
std::optional<QString> currentDriveUUID();

// The per-computer folder on a prepared drive: <root>/QNDL-<sanitised computer name>.
class WorkingFolder {
public:
    static QString path(const QString &root);
    // The same path, created first when it is not a folder yet; a failure to create is ignored.
    static QString ensure(const QString &root);
    // The computer name as it appears in the folder name ("Office's Laptop.local" →
    // "Offices-Laptop").
    static QString sanitisedName(const QString &displayName);
};

// <working folder>/.tarnel-managed: the marker of a prepared drive.
QString markerFile(const QString &root);

// The `volume_uuid` line of a marker's text, exactly as written (split at the first '=').
std::optional<QString> markerVolumeUUID(const QString &markerText);

} // namespace quindle
