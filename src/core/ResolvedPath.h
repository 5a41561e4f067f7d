#pragma once

#include <QString>

namespace quindle {

// The path with every link and "." or ".." resolved: the real path of its deepest existing
// ancestor, followed by the components that do not exist yet. A relative path counts from the
// working folder.
QString resolvedPath(const QString &path);

} // namespace quindle
