#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quindle {

// Asked between entries of long walks; true ends the walk with no result.
using CancelCheck = std::function<bool()>;

// Every path below `root` relative to it (files, folders and links, links not followed), sorted
// by the bytes of the whole UTF-8 relative path ("a b" before "a/b"); the tree digest depends on
// this order. A root that is not a folder lists as one empty path standing for itself.
// Nothing when the root does not exist or any folder in the tree cannot be read.
std::optional<QStringList> listTree(const QString &root);

// The full path of a listed entry.
QString entryPath(const QString &root, const QString &relativePath);

} // namespace quindle
