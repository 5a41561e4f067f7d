#include "apps/AppsRoots.h"

#include "platform/PreferencesLocation.h"
#include "platform/VolumeLocations.h"

#include <QDir>
#include <QSettings>

namespace quindle {

QStringList AppsRoots::current() {
    QStringList roots;
    if (const QString forced = qEnvironmentVariable("QUINDLE_APPS_ROOT"); !forced.isEmpty()) {
        roots = forced.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    } else {
        const QSettings settings(platform::preferencesFile(), QSettings::IniFormat);
        roots = settings.value(preferenceKey).toStringList();
        if (roots.isEmpty())
            roots = platform::defaultAppsRoots();
    }
    for (QString &root : roots)
        root = QDir::cleanPath(root);
    roots.removeDuplicates();
    return roots;
}

void AppsRoots::save(const QStringList &roots) {
    QSettings settings(platform::preferencesFile(), QSettings::IniFormat);
    if (roots.isEmpty())
        settings.remove(preferenceKey);
    else
        settings.setValue(preferenceKey, roots);
}

} // namespace quindle
