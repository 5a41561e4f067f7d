#include "core/NVMeMount.h"

#include "core/ConfigFile.h"
#include "core/DriveIdentity.h"
#include "core/ServiceStatus.h"
#include "platform/HomeDirectory.h"
#include "platform/MountTable.h"
#include "platform/VolumeLocations.h"

#include <QDir>
#include <QFileInfo>

namespace quindle {

namespace {

// The configuration is a bash file: the drive path may start with $HOME.
QString expandLeadingHome(const QString &value) {
    for (const QString &variable : {QStringLiteral("${HOME}"), QStringLiteral("$HOME")})
        if (value == variable || value.startsWith(variable + QLatin1Char('/')))
            return platform::homePath() + value.mid(variable.size());
    return value;
}

} // namespace

bool isSameOrInside(const QString &path, const QString &root) {
    const QString p = QDir::cleanPath(path);
    const QString r = QDir::cleanPath(root);
    if (r == QLatin1String("/"))
        return p.startsWith(QLatin1Char('/'));
    return p == r || p.startsWith(r + QLatin1Char('/'));
}

QStringList configuredNVMePaths() {
    QStringList paths;
    if (const std::optional<QString> reported = StatusFileKeys::read().nvmePath;
        reported && !reported->isEmpty())
        paths << QDir::cleanPath(*reported);
    if (const std::optional<QString> configured = ConfigFile().value(QStringLiteral("NVMe"));
        configured && !configured->isEmpty()) {
        const QString path = QDir::cleanPath(expandLeadingHome(*configured));
        if (!paths.contains(path))
            paths << path;
    }
    return paths;
}

QString serviceDrivePath(const ConfigFile &config) {
    const QString key = QStringLiteral("NVMe");
    QString path;
    if (const auto values = config.values(); values && values->count(key))
        path = expandLeadingHome(values->at(key));
    // The template's placeholder stands for the default until the installer fills it in.
    if (path.isEmpty() || path == QLatin1String("__NVME_DEFAULT__"))
        return platform::defaultNVMePath();
    return QDir::cleanPath(path);
}

std::optional<QString> nvmeRootOf(const QString &path) {
    for (const QString &root : configuredNVMePaths())
        if (isSameOrInside(path, root))
            return root;
    return std::nullopt;
}

bool nvmeIsMounted(const QString &root) {
    if (!QFileInfo(root).isDir())
        return false;
    const bool folderWillDo =
        ConfigFile().value(QStringLiteral("NVME_REQUIRE_MOUNTPOINT")) == QLatin1String("0");
    if (!folderWillDo && !platform::isMountPoint(root))
        return false;
    return QFileInfo::exists(markerFile(root));
}

} // namespace quindle
