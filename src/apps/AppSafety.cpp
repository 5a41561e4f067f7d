#include "apps/AppSafety.h"

namespace quindle {

QString AppSafetyVerdict::rawValue() const {
    switch (kind) {
    case Kind::Ok:
        return QStringLiteral("ok");
    case Kind::Caution:
        return QStringLiteral("caution");
    case Kind::Blocked:
        return QStringLiteral("blocked");
    }
    return {};
}

QString AppSafetyVerdict::badge() const {
    switch (kind) {
    case Kind::Ok:
        return {};
    case Kind::Caution:
        return QStringLiteral("Caution");
    case Kind::Blocked:
        return QStringLiteral("Blocked");
    }
    return {};
}

QString packageManagedText(const QString &package, const QString &root) {
    return QStringLiteral("Installed by the package manager (%1) — it may update the app at the "
                          "original %2 path.")
        .arg(package, root);
}

AppSafetyVerdict evaluate(const AppEntry &entry, const AppDesktopFacts &facts,
                          const QDateTime &now) {
    using Kind = AppSafetyVerdict::Kind;
    if (entry.isMovedSymlink)
        return {Kind::Blocked,
                QStringLiteral("Already relocated to NVMe. Use the Moved tab to bring it back.")};
    if (entry.isOwnInstall)
        return {Kind::Blocked,
                QStringLiteral("Quindle runs from this folder, so it cannot move itself.")};
    if (entry.packageOwner)
        return {Kind::Blocked, packageManagedText(*entry.packageOwner, entry.root)};
    if (entry.isRunning)
        return {Kind::Blocked, QStringLiteral("Currently running. Quit %1 and refresh, then try "
                                              "again.")
                                   .arg(entry.displayName)};
    if (entry.privilegedProgram)
        return {Kind::Blocked, QStringLiteral("Contains a privileged program (%1) that would lose "
                                              "its privileges on the NVMe.")
                                   .arg(*entry.privilegedProgram)};
    if (const auto file = facts.startupFiles.constFind(entry.path);
        file != facts.startupFiles.cend())
        return {Kind::Blocked, QStringLiteral("Has a systemd unit or autostart entry pointing into "
                                              "the folder (%1).")
                                   .arg(*file)};
    if (entry.accessProblem)
        return {Kind::Blocked, *entry.accessProblem};
    if (entry.bundleID && facts.favouriteIDs.contains(*entry.bundleID))
        return {Kind::Caution, QStringLiteral("Pinned to your dock or panel — the launcher keeps "
                                              "working through the link, but not while the NVMe "
                                              "is unplugged.")};
    if (const std::optional<qint64> days = entry.daysSinceLastUse(now); days && *days <= 6)
        return {Kind::Caution, QStringLiteral("Used %1 day%2 ago — you might still need it.")
                                   .arg(*days)
                                   .arg(*days == 1 ? QString() : QStringLiteral("s"))};
    return {};
}

} // namespace quindle
