#pragma once

#include "mover/MoveManifest.h"

#include <QString>

#include <optional>

namespace quindle {

constexpr qint64 contentCheckChunkBytes = 16 * 1024 * 1024;

// Both regular files hold the same bytes (compared in 16 MiB chunks), or both links the same
// target (links are never followed). A folder or special file counts as matching; anything that
// cannot be read does not.
bool filesMatchByContent(const QString &source, const QString &destination);

// The destination's `du` size is plausible for the source's: within 16 KiB (1 % from 1700 KiB
// on), or at least as large for a merge. Blocks: run it on a worker.
bool sizesMatchAsync(const QString &source, const QString &destination, qint64 knownSourceKB,
                     MoveConflictPolicy policy);

// The rule behind sizesMatchAsync, on sizes already measured (nothing = du failed). A source of
// unknown or zero size only matches an empty destination.
bool sizesPlausible(std::optional<qint64> sourceKB, std::optional<qint64> destinationKB,
                    MoveConflictPolicy policy);
qint64 sizeToleranceKB(qint64 sourceKB);

} // namespace quindle
