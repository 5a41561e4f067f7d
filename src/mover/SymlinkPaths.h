#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quindle {

// True when the path itself, not followed, is a symbolic link; any error gives false.
bool pathIsSymbolicLink(const QString &path);

// A link's target as stored, byte for byte; nothing when `encodedPath` is not a readable link.
std::optional<QByteArray> linkBytes(const QByteArray &encodedPath);

// The link's target made absolute against the link's folder and cleaned of ".", ".." and
// repeated slashes, without resolving further links. Nothing when `path` is not a link.
std::optional<QString> resolveSymlinkTargetAbsolute(const QString &path);

// The two paths name the same place once cleaned; links are not followed.
bool pathsResolveSame(const QString &a, const QString &b);

} // namespace quindle
