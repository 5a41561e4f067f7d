#pragma once

#include <QString>
#include <QStringList>

namespace quindle {

// The folders whose sub-folders are applications.
class AppsRoots {
public:
    static inline const QString preferenceKey = QStringLiteral("quindle.apps.roots");

    // QUINDLE_APPS_ROOT (paths split at ':') when set; else the saved list; else the platform's
    // defaults that exist. Read afresh on every call.
    static QStringList current();
    // Saves the list people chose; an empty list goes back to the defaults.
    static void save(const QStringList &roots);
};

} // namespace quindle
