#pragma once

#include "apps/AppEntry.h"
#include "apps/AppSafety.h"
#include "platform/AppHost.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// Where to look and what counts as an app moved by Quindle.
struct DiscoveryScope {
    QStringList roots;
    QString nvmeAppsFolder;            // <NVMe>/Apps: a link into it is a moved app
    QStringList movedTargets;          // the ledger's NVMe paths: links to them are moved apps too
    std::optional<QString> ownInstall; // the folder Quindle runs from
};

struct AppScan {
    QList<AppEntry> entries; // sorted for listing
    AppDesktopFacts facts;
};

// Lists the apps of every root with their facts. Only reads; blocks for seconds on a large
// root (du and the process table): run it on a worker.
AppScan discoverApps(const DiscoveryScope &scope, const platform::AppHost &host = {});

// The scope of this computer now: the roots, the configured NVMe, the ledger.
DiscoveryScope currentDiscoveryScope();

} // namespace quindle
