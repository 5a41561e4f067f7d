#pragma once

#include "mover/TreeListing.h"

#include <QString>

#include <functional>
#include <optional>

namespace quindle {

// One SHA-256 (OpenSSL EVP) over a tree's paths, modes, link targets and contents.
class TreeHasher {
public:
    static constexpr qint64 chunkBytes = 1024 * 1024;

    // bytesTotal is the tree's `du` size in bytes and bytesDone never passes it; on success the
    // last call reports done == total. When du fails, bytesTotal is 0 until that last call, which
    // reports the bytes hashed as both. At most one call per chunk hashed; without a callback
    // du is not run.
    using Progress = std::function<void(qint64 bytesDone, qint64 bytesTotal)>;

    // 64 lower-case hex digits; nothing when the root vanishes, cannot be listed, or the walk is
    // cancelled. Blocks: run it on a worker.
    static std::optional<QString> hash(const QString &root, const Progress &progress,
                                       const CancelCheck &cancelled);

    struct Pair {
        std::optional<QString> source, destination;
    };
    // Both trees at once, each on its own core (they are usually on different disks). The
    // destination's progress is held back until the source is hashed, so a reader sees the source
    // first and the destination after. A failed source stops the destination and leaves it empty.
    static Pair hashBoth(const QString &source, const QString &destination,
                         const Progress &sourceProgress, const Progress &destinationProgress,
                         const CancelCheck &cancelled);
};

} // namespace quindle
