#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quindle {

// Writes `data` to a temporary file beside `path` and renames it into place, so a reader sees
// the old content or the new one, never half of it. Returns the error text on failure; the old
// file is then untouched.
std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &data);

// The whole file, or nothing when it is missing or unreadable.
std::optional<QByteArray> readWholeFile(const QString &path);

} // namespace quindle
