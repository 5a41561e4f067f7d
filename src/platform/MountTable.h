#pragma once

#include <QString>

namespace quindle::platform {

// A file system is mounted right at `path` (a bind mount counts). A plain folder, even the empty
// folder a drive is normally mounted on, is not a mount point. Reads the mount table afresh.
bool isMountPoint(const QString &path);

} // namespace quindle::platform
