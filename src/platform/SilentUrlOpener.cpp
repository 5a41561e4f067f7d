#include "platform/SilentUrlOpener.h"

#include <QFile>

namespace quindle::platform {

SilentUrlOpener::SilentUrlOpener() {
    if (!m_folder.isValid())
        return;
    QFile opener(m_folder.filePath(QStringLiteral("xdg-open")));
    m_ready = opener.open(QIODevice::WriteOnly) && opener.write("#!/bin/sh\nexit 0\n") > 0 &&
              opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString SilentUrlOpener::searchPath() const {
    const QString inherited = qEnvironmentVariable("PATH");
    return m_folder.path() + (inherited.isEmpty() ? QString() : QLatin1Char(':') + inherited);
}

} // namespace quindle::platform
