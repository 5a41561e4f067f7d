#pragma once

#include <QString>
#include <QTemporaryDir>

namespace quindle::platform {

// A private folder whose `xdg-open` does nothing, for a child that would open a browser by itself
// where the application wants to open it once, its own way. It lives as long as this object.
class SilentUrlOpener {
public:
    SilentUrlOpener();

    bool isValid() const { return m_ready; }
    // The PATH value for the child: this folder first, then the inherited PATH.
    QString searchPath() const;

private:
    QTemporaryDir m_folder;
    bool m_ready = false;
};

} // namespace quindle::platform
