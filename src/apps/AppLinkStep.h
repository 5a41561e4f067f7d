#pragma once

#include "apps/AppMoveManifest.h"
#include "mover/TreeListing.h"

#include <QString>
#include <QStringList>

namespace quindle {

// What the last step of an app move did.
struct LinkOutcome {
    enum class Kind {
        Linked,   // the app is in its new place
        RollBack, // the copy is in doubt and goes; `message` says why
        Failed    // the step itself failed; `message` describes the error
    };
    Kind kind = Kind::Linked;
    QString message;
    QStringList logLines; // "linking: …" lines, in order
};

// Swaps the verified copy in: to the NVMe, the original folder is exchanged with a link to the
// copy and then removed; back, the sidecar is exchanged with the link. Done again after an
// interruption it finishes what is left. First it makes sure that no process uses the side
// left behind and that it has not changed since it was verified. Blocks: run it on a worker.
LinkOutcome linkApp(const AppMoveManifest &manifest, AppMoveDirection direction,
                    const CancelCheck &cancelled);

} // namespace quindle
