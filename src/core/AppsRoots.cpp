#include "core/AppsRoots.h"

#include "core/ConfigFile.h"

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
            roots = defaults();
    }
    for (QString &root : roots)
        root = QDir::cleanPath(root);
    roots.removeDuplicates();
    return roots;
}

QStringList AppsRoots::defaults() {
    return platform::defaultAppsRoots();
}

std::optional<QString> AppsRoots::save(const QStringList &roots) {
    QSettings settings(platform::preferencesFile(), QSettings::IniFormat);
    if (roots.isEmpty())
        settings.remove(preferenceKey);
    else
        settings.setValue(preferenceKey, roots);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return QStringLiteral("Could not save the apps roots to %1.").arg(settings.fileName());
    // The service sizes one apps root for Free Up Space: the first. Before the service is set
    // up there is no file to tell, and its default stands.
    const ConfigFile config;
    if (config.read().state != ConfigFile::Contents::State::Read)
        return std::nullopt;
    return config.set({{QStringLiteral("APPS_ROOT"), current().value(0)}});
}

} // namespace quindle
