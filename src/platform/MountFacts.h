#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quindle::platform {

// What the file system holding a path allows.
struct MountFacts {
    QString mountPoint;
    QString fileSystemType; // as the mount table names it: "ext4", "vfat", "fuseblk" …
    bool noexec = false;    // programs on it cannot be run
    bool noatime = false;   // reading a file leaves its access time alone
};

// The facts of the file system that holds `path` (links resolved); nothing when the path is gone.
std::optional<MountFacts> mountFactsOf(const QString &path);

// The mount point and type of the entry of a mountinfo text that holds `resolvedPath`: the
// longest mount point it lies in, the last mounted of equal ones.
std::optional<MountFacts> mountEntryFor(const QByteArray &mountInfo, const QString &resolvedPath);

// A file system type that keeps no owner or mode bits of its own.
bool lacksUnixPermissions(const QString &fileSystemType);

} // namespace quindle::platform
