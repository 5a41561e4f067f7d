#include "core/AtomicFile.h"

#include <QFile>
#include <QSaveFile>

namespace quindle {

std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &data,
                                           std::optional<QFileDevice::Permissions> permissions) {
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile takes a short write at close for success and renames a
    // truncated file into place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write(data) != data.size() || (permissions && !file.setPermissions(*permissions))) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

std::optional<QByteArray> readWholeFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace quindle
