#pragma once

#include <QString>

namespace quindle::platform {

// The distribution's command that installs `package`, chosen from the text of an os-release
// file ("sudo apt install rsync" on Debian and Ubuntu); empty when the distribution is unknown.
QString installCommandFor(const QString &osReleaseText, const QString &package);

// The same for this machine (/etc/os-release).
QString installCommand(const QString &package);

// "your package manager (`sudo apt install rsync`)", or "your package manager" when the
// distribution is unknown. Completes sentences such as "Install via … and retry."
QString viaPackageManager(const QString &package);

// "Run `sudo apt install rsync` in a terminal", or "Install rsync with your package manager".
QString runInstallInTerminal(const QString &package);

} // namespace quindle::platform
