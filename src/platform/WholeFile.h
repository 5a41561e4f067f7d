#pragma once

#include <QString>

#include <optional>

namespace quindle::platform {

// Writes `text` whole (temporary file + rename), creating the folder first. The reason when it
// could not.
std::optional<QString> writeWholeFile(const QString &path, const QString &text);

} // namespace quindle::platform
