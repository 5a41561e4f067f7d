#pragma once

#include "platform/DesktopEntries.h"
#include "platform/Favourites.h"
#include "platform/FolderAccess.h"
#include "platform/FolderUsers.h"
#include "platform/MountFacts.h"
#include "platform/PackageOwner.h"
#include "platform/PrivilegedFiles.h"
#include "platform/StartupTargets.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quindle::platform {

// The host facilities that application discovery asks about, one function each: the real ones
// unless a test stands in for one.
struct AppHost {
    std::function<QList<DesktopEntry>()> desktopEntries = loadDesktopEntries;
    std::function<QHash<QString, FolderUser>(const QStringList &)> users = folderUsers;
    std::function<QHash<QString, QString>(const QStringList &)> packageOwners =
        platform::packageOwners;
    std::function<QSet<QString>()> favourites = favouriteAppIDs;
    std::function<QList<StartupTarget>()> startupTargets = loadAutostartTargets;
    std::function<std::optional<MountFacts>(const QString &)> mountFacts = mountFactsOf;
    std::function<std::optional<QString>(const QString &)> privilegedProgram =
        platform::privilegedProgram;
    std::function<std::optional<AccessProblem>(const QString &)> accessProblem = moveAccessProblem;
};

} // namespace quindle::platform
