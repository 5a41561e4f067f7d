#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quindle {

// Asked between entries of long walks; true ends the walk with no result.
using CancelCheck = std::function<bool()>;

// Every path below `root` relative to it (files, folders and links, links not followed), sorted
// by byte value. A root that is not a folder lists as one empty path standing for itself.
// Nothing when the root does not exist or cannot be listed.
std::optional<QStringList> listTree(const QString &root);

// The full path of a listed entry.
QString entryPath(const QString &root, const QString &relativePath);

} // namespace quindle
