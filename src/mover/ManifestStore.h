#pragma once

#include "mover/MoveManifest.h"

#include <QList>
#include <QString>
#include <QUuid>

namespace quindle {

// The folder of move manifests, one <ID>.json file per move.
class ManifestStore {
public:
    static QString directory();
    static QString fileFor(const QUuid &id);

    // Stamps updatedAt and writes the file whole. A failure is logged, never thrown: the job in
    // memory carries on. Returns the manifest as written.
    static MoveManifest write(const MoveManifest &manifest);
    static void remove(const QUuid &id);
    // Every readable manifest, newest startedAt first; files that do not decode are skipped.
    static QList<MoveManifest> loadAll();
};

} // namespace quindle
