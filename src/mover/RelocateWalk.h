#pragma once

#include "mover/TreeListing.h"

#include <QString>

#include <optional>

namespace quindle {

struct RelocateResult {
    int filesRelinked = 0;
    int filesSkipped = 0; // folders and links, left as they are
    int errorCount = 0;
    std::optional<QString> errorSummary; // every error, joined by "; "
    bool isSingleFile = false;
};

// Replaces every regular file below `source` by a symbolic link to its copy below `destination`,
// keeping folders real. A single file becomes one link. A file without a copy of the same kind is
// left in place. Every step leaves a file or its link, so a cancelled or interrupted walk can run
// again. Blocks: run it on a worker.
RelocateResult relocateSourceAsFileSymlinks(const QString &source, const QString &destination,
                                            const CancelCheck &cancelled = {});

} // namespace quindle
