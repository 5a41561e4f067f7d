#pragma once

#include "mover/MoveManifest.h"
#include "mover/TreeListing.h"

#include <QString>

#include <optional>

namespace quindle {

// What the checks before a step found. They run on a worker: they resolve paths, walk the source
// and read the drive's marker.
struct Preflight {
    enum class Outcome {
        Proceed,
        Park,         // the drive is not there: wait for it
        Fail,         // refused; nothing was touched
        AlreadyThere, // the data already lives at the destination; nothing to copy
        Cancelled
    };
    Outcome outcome = Outcome::Proceed;
    QString message;                  // Park and Fail: the job's error; AlreadyThere: the log line
    std::optional<QString> driveUUID; // the drive's identity, when the move had none recorded
    bool destinationExists = false;   // Proceed before a copy: something is at finalDst already
};

// Before anything is copied, and on every resume of a copy: the two trees are distinct storage,
// the drive is the recorded one and really mounted, no link in the source points into the
// destination, and the destination's parent exists (it is created). A relocated tree moved again
// is recognised; for a plain move its links are removed here.
Preflight preflightCopy(const MoveManifest &manifest, const CancelCheck &cancelled);

// Before cleanup removes or relinks anything: the trees are still distinct, the drive is
// mounted, and the destination is the real copy, not a link.
Preflight preflightCleanup(const MoveManifest &manifest);

// "The NVMe is not mounted; nothing was copied."
QString nvmeNotMountedText();

} // namespace quindle
