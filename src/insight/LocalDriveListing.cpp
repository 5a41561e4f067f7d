#include "insight/LocalDriveListing.h"

#include "core/BackgroundPool.h"
#include "core/ConfigFile.h"
#include "core/DriveIdentity.h"
#include "core/WhenFinished.h"
#include "platform/HomeDirectory.h"
#include "platform/VolumeLocations.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

namespace {

const QString kUnknown = QStringLiteral("Unknown");

QString withoutTrailingSlashes(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// The mount that holds `path`: the one with the longest mount point above it.
const platform::MountEntry *containing(const QList<platform::MountEntry> &mounts,
                                       const QString &path) {
    const platform::MountEntry *best = nullptr;
    for (const platform::MountEntry &mount : mounts) {
        const bool holds = path == mount.target || mount.target == QLatin1String("/") ||
                           path.startsWith(mount.target + QLatin1Char('/'));
        // Later entries cover earlier ones mounted on the same point.
        if (holds && (!best || mount.target.size() >= best->target.size()))
            best = &mount;
    }
    return best;
}

QString nameOf(const QString &path) {
    return path.section(QLatin1Char('/'), -1);
}

} // namespace

LocalDriveListing::LocalDriveListing(QObject *parent)
    : QObject(parent) {}

QString LocalDriveListing::statusText() const {
    if (m_listing)
        return QStringLiteral("Looking for external drives…");
    if (m_listed && m_drives.isEmpty())
        return QStringLiteral("No external drives are plugged in.");
    return {};
}

QString LocalDriveListing::emptyHint() const {
    if (m_listing || !m_listed || !m_drives.isEmpty())
        return {};
    return QStringLiteral("Plug one in or check the box above to skip this step.");
}

QString LocalDriveListing::prepFailureText(const QString &error) {
    return QStringLiteral("Couldn't prep drive: ") + error;
}

void LocalDriveListing::refresh() {
    m_listing = true;
    const quint64 run = ++m_run;
    Q_EMIT changed();
    whenFinished(QtConcurrent::run(blockingPool(), [] { return list(); }), this,
                 [this, run](const QList<Drive> &drives) {
                     if (run != m_run)
                         return; // a newer listing is on its way
                     m_listing = false;
                     m_listed = true;
                     m_drives = drives;
                     Q_EMIT changed();
                 });
}

QList<Drive> LocalDriveListing::list() {
    const QString current = ConfigFile().value(QStringLiteral("NVMe")).value_or(QString());
    return list(platform::volumesRoot(), platform::homePath(),
                current.isEmpty() ? platform::defaultNVMePath() : current);
}

QList<Drive> LocalDriveListing::list(const QString &volumesRoot, const QString &home,
                                     const QString &currentPath, const DriveProbe &probe) {
    const QList<platform::MountEntry> mounts =
        probe.mountTable().value_or(QList<platform::MountEntry>());
    QHash<QString, const platform::MountEntry *> byTarget;
    for (const platform::MountEntry &mount : mounts)
        byTarget.insert(mount.target, &mount); // the last mount on a point is the visible one

    QHash<QString, std::optional<platform::BlockDevice>> devices;
    const auto deviceOf = [&](const QString &source) {
        if (!devices.contains(source))
            devices.insert(source, probe.blockDevice(source));
        return devices.value(source);
    };

    // The disk being relieved is never offered, whatever it reports.
    const platform::MountEntry *homeMount = containing(mounts, home);
    const QString homeSource = homeMount ? homeMount->source : QString();
    QString homeDisk;
    if (homeMount) {
        if (const auto device = deviceOf(homeSource))
            homeDisk = device->disk;
    }

    QList<const platform::MountEntry *> candidates;
    const QString root = withoutTrailingSlashes(volumesRoot);
    // Folders under the root that are not mount points are leftovers, not drives.
    for (const QString &name :
         QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        if (const platform::MountEntry *mount = byTarget.value(root + QLatin1Char('/') + name))
            candidates << mount;
    }
    for (const platform::MountEntry &mount : mounts) {
        if (mount.target == QLatin1String("/") || byTarget.value(mount.target) != &mount ||
            candidates.contains(&mount) || QFileInfo(mount.target).path() == root)
            continue;
        const auto device = deviceOf(mount.source);
        if (device && (device->removable || device->hotplug))
            candidates << &mount;
    }

    const QString current = withoutTrailingSlashes(currentPath);
    QList<Drive> drives;
    for (const platform::MountEntry *mount : candidates) {
        const QString name = nameOf(mount->target);
        if (name.startsWith(QLatin1Char('.')) || platform::isBackupVolumeName(name))
            continue;
        if (!homeSource.isEmpty() && mount->source == homeSource)
            continue;
        const std::optional<platform::BlockDevice> device = deviceOf(mount->source);
        if (device && !homeDisk.isEmpty() && device->disk == homeDisk)
            continue;
        Drive drive;
        drive.location = !device ? kUnknown
                                 : (device->isExternal() ? QStringLiteral("External")
                                                         : QStringLiteral("Internal"));
        if (drive.location == QLatin1String("Internal"))
            continue;
        drive.name = name;
        drive.path = mount->target;
        drive.filesystem = mount->fstype.isEmpty() ? kUnknown : mount->fstype;
        drive.protocol = device && !device->transport.isEmpty() ? device->transport : kUnknown;
        drive.removable =
            !device ? kUnknown
                    : (device->removable ? QStringLiteral("Removable") : QStringLiteral("Fixed"));
        drive.device = mount->source.startsWith(QLatin1String("/dev/")) ? mount->source : QString();
        drive.uuid = mount->uuid;
        if (const std::optional<platform::DiskSpace> space = probe.diskSpace(drive.path)) {
            drive.free_mb = space->freeMB;
            drive.total_mb = space->totalMB;
        }
        drive.is_current = drive.path == current;
        drive.has_marker = QFileInfo::exists(markerFile(drive.path));
        drives << drive;
    }
    return drives;
}

} // namespace quindle
