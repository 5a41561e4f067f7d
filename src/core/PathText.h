#pragma once

#include <QString>

namespace quindle {

// The path as people read it, with "~" for the home folder (and "~" for the home itself).
QString tildePath(const QString &path);
// The same against a given home; a home of "/" or nothing shortens nothing.
QString tildePath(const QString &path, const QString &home);

// The reverse for what people type: a leading "~" is the home folder.
QString homeExpanded(const QString &typed);

} // namespace quindle
