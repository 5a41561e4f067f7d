#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quindle::platform {

// A program that a service unit or an autostart entry starts by itself.
struct StartupTarget {
    QString program;  // as written: absolute, or a bare name
    QString fileName; // the unit, drop-in or entry that names it
    bool operator==(const StartupTarget &) const = default;
};

// The programs of a unit's Exec…= lines, the prefixes @-:+! stripped.
QStringList unitExecPrograms(const QString &unitText);

// Every program that the user's and the system's units (and their drop-ins) and the user's and
// the system's autostart entries start.
QList<StartupTarget> loadAutostartTargets();

} // namespace quindle::platform
