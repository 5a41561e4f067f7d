#pragma once

#include <QString>

#include <optional>

namespace quindle::platform {

// Renames `from` to `to` in one step, refusing when `to` exists (even if it appears meanwhile);
// the reason when it did not rename.
std::optional<QString> renameWithoutReplacing(const QString &from, const QString &to);

} // namespace quindle::platform
