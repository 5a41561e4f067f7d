#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quindle::platform {

// A process's arguments from /proc; empty when it is gone or not ours to read.
QStringList commandLineOf(qint64 pid);

// Sends SIGTERM to the process whose id is the first line of `pidFile` when its command line
// names `script`, so a reused id never ends a stranger; its id when it was signalled.
std::optional<qint64> terminateScriptRun(const QString &pidFile, const QString &script);

} // namespace quindle::platform
