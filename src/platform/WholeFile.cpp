#include "platform/WholeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace quindle::platform {

std::optional<QString> writeWholeFile(const QString &path, const QString &text) {
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("Could not create the folder %1.").arg(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        return QStringLiteral("Could not write %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace quindle::platform
