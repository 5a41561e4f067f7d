#pragma once

#include <QString>
#include <QStringList>

namespace quindle::platform {

// Executables tried for GNU rsync, in order (the distribution's own rsync is GNU on Linux);
// QUINDLE_RSYNC replaces the list.
QStringList rsyncCandidates();

// The rclone executable: QUINDLE_RCLONE when set (a path that may not exist, so tests can stand
// in for a machine without rclone), else the fixed locations, then the first one on PATH; empty
// if none.
QString findRclone();

QString duExecutable();
QString rmExecutable();
QString bashExecutable();
QString tarExecutable();

} // namespace quindle::platform
