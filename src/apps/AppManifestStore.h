#pragma once

#include "apps/AppMoveManifest.h"

#include <QList>
#include <QString>
#include <QUuid>

namespace quindle {

// The folder of app-move manifests, one <ID>.json per move.
class AppManifestStore {
public:
    static QString directory();
    static QString fileFor(const QUuid &id);

    // Stamps updatedAt and writes the file whole; a failure is logged and the job carries on.
    static AppMoveManifest write(const AppMoveManifest &manifest);
    static void remove(const QUuid &id);
    // Every manifest that decodes, newest startedAt first.
    static QList<AppMoveManifest> loadAll();
};

// The apps living on the NVMe, in the order they were moved.
class MovedAppsLedger {
public:
    // A missing file is empty; so is one that does not decode, which the next save keeps aside
    // as moved-apps.json.unreadable-<seconds> instead of overwriting it.
    static QList<MovedApp> load();
    // Nothing on success, else the reason.
    static std::optional<QString> save(const QList<MovedApp> &moved);
};

} // namespace quindle
