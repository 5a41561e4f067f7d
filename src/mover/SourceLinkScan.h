#pragma once

#include "mover/TreeListing.h"

#include <QString>

#include <optional>

namespace quindle {

// What the links inside a source folder say about copying it to `finalDst`. rsync copies links as
// links, so a link that points into the destination would be written over the very file it points
// to, and both verification levels would then compare that file with itself.
struct SourceLinkScan {
    enum class Verdict {
        Clear,                // no link leads into the destination
        AlreadyAtDestination, // every file is a link to its own copy: a relocated tree
        LinksIntoDestination, // copying would overwrite data only the links refer to
        Cancelled
    };
    Verdict verdict = Verdict::Clear;
    QString linkPath, linkTarget; // the first offending link
    qsizetype linksToCopies = 0;

    // "<path> links into the destination (<target>); moving it would overwrite the data it
    // points to."
    QString refusal() const;
};

// Walks `src` without following links. A source that is not a folder is always clear.
SourceLinkScan scanSourceLinks(const QString &src, const QString &finalDst,
                               const CancelCheck &cancelled);

// Removes the links of a relocated tree and the folders they leave empty, so that nothing but the
// copy at `finalDst` remains. Each link is checked again just before it goes: one to its own copy
// (a regular file), or one whose copy is a link with the same target. Anything else stops the
// removal and stays. Returns the reason when it stopped; blocks.
std::optional<QString> removeRelocatedLinks(const QString &src, const QString &finalDst);

} // namespace quindle
