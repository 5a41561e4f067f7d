#pragma once

#include "core/ResolvedPath.h"

#include <QString>

#include <optional>

namespace quindle {

// Where the link at `path` finally leads, resolved like resolvedPath; nothing when `path` is not a
// link.
std::optional<QString> resolvedLinkTarget(const QString &path);

// Why copying `src` to `finalDst` and then removing `src` would destroy it: the two are the same
// storage, or one lies inside the other. Resolved paths and file identities (device and inode) are
// both compared, so links, relative paths and bind mounts are seen through. Nothing when they are
// distinct, or when `src` does not exist.
std::optional<QString> overlapRefusal(const QString &src, const QString &finalDst);

} // namespace quindle
