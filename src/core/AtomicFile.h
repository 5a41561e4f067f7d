#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace quindle {

// Writes `data` to a temporary file beside `path` and renames it into place, so a reader sees
// the old content or the new one, never half of it. Returns the error text on failure; the old
// file is then untouched.
// `permissions`, when given, are set before the file takes its name, so it is never readable
// wider than that.
std::optional<QString>
writeFileAtomically(const QString &path, const QByteArray &data,
                    std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// The whole file, or nothing when it is missing or unreadable.
std::optional<QByteArray> readWholeFile(const QString &path);

} // namespace quindle
