#pragma once

#include <QString>

namespace quindle::platform {

// The computer's maker and model as its firmware names them ("LENOVO 20XW0055GE"), never a
// serial number; "unknown" where the firmware tables are absent, as in containers.
QString hardwareModel(const QString &dmiFolder = QStringLiteral("/sys/class/dmi/id"));

// The distribution's name and version with the kernel release: "Debian GNU/Linux 12 (bookworm),
// kernel 6.1.0-18-amd64".
QString operatingSystemVersion();

} // namespace quindle::platform
