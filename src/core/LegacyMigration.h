#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace quindle {

// Moves the predecessor's ~/.tarnel to ~/.quindle once, renames its files and retires its
// agents. Writes each step to `log`; returns the error that must abort the installation.
// `unloadAgent` stops one predecessor agent before its file is deleted (its result is ignored).
std::optional<QString> migrateLegacyFolder(const std::function<void(const QString &)> &log,
                                           const std::function<void(const QString &)> &unloadAgent);

} // namespace quindle
