#include "core/ConfigFileModel.h"

#include "core/BackgroundPool.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

ConfigFileModel::ConfigFileModel(QObject *parent)
    : QObject(parent) {}

QString ConfigFileModel::path() {
    return paths::configFile();
}

void ConfigFileModel::reload() {
    if (m_reading)
        return;
    m_reading = true;
    Q_EMIT readingChanged();
    whenFinished(
        QtConcurrent::run(blockingPool(), [file = path()] { return ConfigFile(file).read(); }),
        this, [this](const ConfigFile::Contents &contents) {
            m_reading = false;
            m_contents = contents;
            Q_EMIT readingChanged();
            Q_EMIT reloaded();
        });
}

} // namespace quindle
