#pragma once

#include <QString>
#include <QStringList>

namespace quindle::platform {

// Executables tried for GNU rsync, in order (the distribution's own rsync is GNU on Linux);
// QUINDLE_RSYNC replaces the list.
QStringList rsyncCandidates();

// The rclone executable: the fixed locations first, then the first one on PATH; empty if none.
QString findRclone();

QString duExecutable();
QString rmExecutable();
QString bashExecutable();
QString tarExecutable();

} // namespace quindle::platform
