#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// The folders whose sub-folders are applications.
class AppsRoots {
public:
    static inline const QString preferenceKey = QStringLiteral("quindle.apps.roots");

    // QUINDLE_APPS_ROOT (paths split at ':') when set; else the saved list; else the platform's
    // defaults that exist. Read afresh on every call.
    static QStringList current();
    // The usual places for apps that exist on this computer.
    static QStringList defaults();
    // Saves the list people chose (an empty list goes back to the defaults) and gives the first
    // to the service's configuration. Returns the reason when either could not be written.
    static std::optional<QString> save(const QStringList &roots);
};

} // namespace quindle
