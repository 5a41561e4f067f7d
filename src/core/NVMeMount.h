#pragma once

#include "core/ConfigFile.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// The paths the drive is configured at: the one the service last reported and the configuration's
// NVMe (they differ only until the service's next tick after a change). Read afresh on each call.
QStringList configuredNVMePaths();

// The drive path the service reads from `config`: its NVMe ($HOME expanded, trailing slashes
// dropped), else the default.
QString serviceDrivePath(const ConfigFile &config);

// The configured drive path that `path` is or lies under; nothing when it is elsewhere.
std::optional<QString> nvmeRootOf(const QString &path);

// The service's rule for "the drive is there": a file system mounted right at `root` (or, with
// NVME_REQUIRE_MOUNTPOINT=0, any folder) holding the drive's marker. An unmounted drive leaves a
// bare folder of the internal disk behind, and a copy into it would be hidden by the next mount.
bool nvmeIsMounted(const QString &root);

// `path` equals `root` or lies below it, compared as cleaned text.
bool isSameOrInside(const QString &path, const QString &root);

} // namespace quindle
