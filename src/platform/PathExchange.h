#pragma once

#include <QString>

#include <optional>

namespace quindle::platform {

// Swaps what `first` and `second` name, so that neither path is ever missing where the file
// system can swap in one step; elsewhere it takes three renames through a name beside `first`.
// Nothing on success, otherwise the reason.
std::optional<QString> exchangePaths(const QString &first, const QString &second);

} // namespace quindle::platform
