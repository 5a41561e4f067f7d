#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace quindle::platform {

// The strings of a GVariant string array as gsettings prints it: "['a.desktop', "it's"]".
QStringList parseGVariantStrings(const QString &text);

// The launcher IDs of every `launchers=` line of a Plasma panel configuration.
QStringList plasmaLaunchers(const QString &appletsText);

// The launcher file IDs, less ".desktop", pinned to a dock or panel: GNOME's and Cinnamon's
// favourites and Plasma's task manager launchers.
QSet<QString> favouriteAppIDs();

} // namespace quindle::platform
