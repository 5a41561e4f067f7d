#pragma once

#include <QString>
#include <QStringList>

namespace quindle::platform {

// Folder of the per-user service definitions (systemd user units).
QString userServiceDirectory();

// The unit that keeps `quindle.sh watch` running.
QString serviceUnitFile();

// The application's own per-user agent of earlier releases; never written, only removed.
QString legacyGuiAgentFile();

// Agents of the predecessor product, in the order they are unloaded during migration.
QStringList predecessorAgentFiles();

// XDG autostart folder (login items).
QString autostartDirectory();

} // namespace quindle::platform
