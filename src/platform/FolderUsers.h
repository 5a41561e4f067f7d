#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace quindle::platform {

// A process that has something of a folder in use.
struct FolderUser {
    qint64 pid = 0;
    QString name; // the command name the kernel keeps
    bool operator==(const FolderUser &) const = default;
};

// For each of `folders` (resolved paths) the first process this user may inspect whose
// executable, working folder, an open file or a mapped file lies inside it. A program
// replaced or removed while running counts by the path it had.
QHash<QString, FolderUser> folderUsers(const QStringList &folders);

} // namespace quindle::platform
