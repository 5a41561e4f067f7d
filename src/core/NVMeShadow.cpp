#include "core/NVMeShadow.h"

#include "core/AtomicFile.h"
#include "core/DriveIdentity.h"
#include "core/ServiceStatus.h"
#include "core/StatePaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quindle {

namespace {

// Writes the whole file and leaves it readable by its owner only; the reason on failure.
std::optional<QString> writePrivately(const QString &path, const QByteArray &data) {
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("Could not create the folder %1.").arg(QFileInfo(path).path());
    if (std::optional<QString> error = writeFileAtomically(path, data))
        return error;
    QFile file(path);
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return file.errorString();
    return std::nullopt;
}

} // namespace

bool NVMeShadow::write(const QByteArray &data, const QString &basename, ShadowPolicy policy) {
    if (const std::optional<QString> error = writePrivately(internalPath(basename), data)) {
        qWarning().noquote() << QStringLiteral("Quindle: failed to persist ") + basename +
                                    QStringLiteral(": ") + *error;
        return false;
    }
    if (policy == ShadowPolicy::LocalOnly)
        return true;
    if (const std::optional<QString> shadow = shadowPath(basename)) {
        if (const std::optional<QString> error = writePrivately(*shadow, data))
            qWarning().noquote() << QStringLiteral("Quindle: shadow mirror to ") + *shadow +
                                        QStringLiteral(" failed: ") + *error;
    }
    return true;
}

void NVMeShadow::remove(const QString &basename) {
    QFile::remove(internalPath(basename));
    if (const std::optional<QString> shadow = shadowPath(basename))
        QFile::remove(*shadow);
}

QString NVMeShadow::internalPath(const QString &basename) {
    return paths::stateDirectory() + QLatin1Char('/') + basename;
}

std::optional<QString> NVMeShadow::shadowPath(const QString &basename) {
    const std::optional<QString> drive = StatusFileKeys::read().nvmePath;
    if (!drive || drive->isEmpty() || !QFileInfo(*drive).isDir())
        return std::nullopt;
    return WorkingFolder::path(*drive) + QStringLiteral("/Quindle-State/") + basename;
}

} // namespace quindle
