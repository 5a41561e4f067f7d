#pragma once

#include "core/ConfigFile.h"

#include <QObject>
#include <QString>

namespace quindle {

// The service's configuration file as the rules window shows it, read whole off the main thread.
class ConfigFileModel : public QObject {
    Q_OBJECT
public:
    explicit ConfigFileModel(QObject *parent = nullptr);

    static QString path();
    // The last read; Missing before the first.
    const ConfigFile::Contents &contents() const { return m_contents; }
    bool isReading() const { return m_reading; }
    bool exists() const { return m_contents.state != ConfigFile::Contents::State::Missing; }

    // Reads the file again; nothing while a read runs.
    void reload();

Q_SIGNALS:
    void readingChanged();
    // A read finished.
    void reloaded();

private:
    ConfigFile::Contents m_contents;
    bool m_reading = false;
};

} // namespace quindle
