#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quindle::platform {

// One mounted filesystem.
struct MountEntry {
    QString target; // mount point
    QString source; // device node, or what stands in for one (tmpfs, a network share)
    QString fstype;
    QString uuid; // empty when the filesystem has none, or reports all zeros

    bool operator==(const MountEntry &) const = default;
};

// What the kernel says about the disk behind a device node. A partition takes what it lacks
// from the whole disk it is part of.
struct BlockDevice {
    QString disk;      // kernel name of the whole disk ("sdb")
    QString transport; // "usb", "nvme", "sata"…; empty when unknown
    bool removable = false;
    bool hotplug = false;

    // Plugged in from outside: removable media, a hot-pluggable disk or anything on USB.
    bool isExternal() const { return removable || hotplug || transport == QLatin1String("usb"); }
    bool operator==(const BlockDevice &) const = default;
};

struct DiskSpace {
    qint64 totalMB = 0;
    qint64 freeMB = 0;

    bool operator==(const DiskSpace &) const = default;
};

// The mount table (findmnt); nothing when it cannot be read.
std::optional<QList<MountEntry>> mountTable();
// The device behind a /dev node (lsblk); nothing for anything else.
std::optional<BlockDevice> blockDevice(const QString &device);
// Size and free space of the filesystem holding `path` (df -m).
std::optional<DiskSpace> diskSpace(const QString &path);

// Names given to backup volumes rather than to drives one stores data on.
bool isBackupVolumeName(const QString &name);

// The parsers behind the functions above.
QList<MountEntry> parseMountTable(const QByteArray &findmntJson);
std::optional<BlockDevice> parseBlockDevice(const QByteArray &lsblkJson);
// Field 2 is the size and field 4 the free space on the second line.
std::optional<DiskSpace> parseDiskSpace(const QByteArray &dfOutput);

} // namespace quindle::platform
