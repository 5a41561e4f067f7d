#include "core/AppPreferences.h"

#include "platform/PreferencesLocation.h"

#include <QDebug>
#include <QSettings>

namespace quindle {

QVariant readPreference(const QString &key, const QVariant &fallback) {
    return QSettings(platform::preferencesFile(), QSettings::IniFormat).value(key, fallback);
}

bool storePreference(const QString &key, const QVariant &value) {
    QSettings settings(platform::preferencesFile(), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    qWarning().noquote() << QStringLiteral("Quindle: failed to save preference %1 to %2")
                                .arg(key, platform::preferencesFile());
    return false;
}

} // namespace quindle
