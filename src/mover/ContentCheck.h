#pragma once

#include "mover/MoveManifest.h"
#include "mover/TreeListing.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

constexpr qint64 contentCheckChunkBytes = 16 * 1024 * 1024;

// Both regular files hold the same bytes (compared in 16 MiB chunks), or both links the same
// target (links are never followed), or both are folders. A special file counts as matching;
// anything that cannot be read does not.
bool filesMatchByContent(const QString &source, const QString &destination);

// The entries of `relativePaths` whose copy below `destination` does not match by content (a
// missing copy does not). Stops early, with what it found so far, when cancelled.
QStringList filesDifferingInContent(const QString &source, const QString &destination,
                                    const QStringList &relativePaths, const CancelCheck &cancelled);

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
