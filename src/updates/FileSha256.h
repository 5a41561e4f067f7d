#pragma once

#include <QString>

#include <optional>

namespace quindle {

// SHA-256 of a file's bytes as 64 lower-case hex digits, read in 1 MiB chunks; nothing when the
// file cannot be read to its end. Blocks: run it on a worker.
std::optional<QString> sha256Hex(const QString &path);

} // namespace quindle
