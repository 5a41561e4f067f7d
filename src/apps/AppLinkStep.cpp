#include "apps/AppLinkStep.h"

#include "mover/ProcessRunner.h"
#include "mover/TreeQuickCompare.h"
#include "platform/FolderUsers.h"
#include "platform/PathExchange.h"
#include "platform/ProgramLocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quindle {

namespace {

const QString kRolledBack = QStringLiteral(" Rolled back the destination; original preserved.");

// A rollback when something uses `left` or it differs from `copy`; nothing when all is still.
std::optional<LinkOutcome> doubtAbout(const QString &left, const QString &copy,
                                      const CancelCheck &cancelled) {
    const QString resolvedLeft = QFileInfo(left).canonicalFilePath();
    const QHash<QString, platform::FolderUser> users = platform::folderUsers({resolvedLeft});
    if (const auto user = users.constFind(resolvedLeft); user != users.cend())
        return LinkOutcome{LinkOutcome::Kind::RollBack,
                           QStringLiteral("The app is running (%1, PID %2). Quit it and try again.")
                                   .arg(user->name)
                                   .arg(user->pid) +
                               kRolledBack,
                           {}};
    const std::optional<QList<Difference>> differences =
        TreeQuickCompare::diff(left, copy, cancelled);
    if (!differences)
        return LinkOutcome{LinkOutcome::Kind::RollBack,
                           QStringLiteral("The app could not be compared with its copy.") +
                               kRolledBack,
                           {}};
    if (!differences->isEmpty()) {
        const QString relative = differences->first().relativePath;
        const QString path = relative.isEmpty() ? left : left + QLatin1Char('/') + relative;
        return LinkOutcome{LinkOutcome::Kind::RollBack,
                           QStringLiteral("The app changed after it was verified (%1).").arg(path) +
                               kRolledBack,
                           {}};
    }
    return std::nullopt;
}

bool isLinkTo(const QFileInfo &info, const QString &target) {
    return info.isSymLink() && QDir::cleanPath(info.symLinkTarget()) == QDir::cleanPath(target);
}

LinkOutcome failed(QStringList lines, const QString &message) {
    return {LinkOutcome::Kind::Failed, message, std::move(lines)};
}

// Removes the folder the swap put aside, if it is still there.
void removeAside(const QString &aside, QStringList &lines) {
    const QFileInfo info(aside);
    if (!info.exists() && !info.isSymLink())
        return;
    lines << QStringLiteral("linking: remove %1").arg(aside);
    const int status = info.isSymLink() ? (QFile::remove(aside) ? 0 : 1)
                                        : runProcessAsync(platform::rmExecutable(),
                                                          {QStringLiteral("-rf"), aside});
    lines << (status == 0 ? QStringLiteral("linking: %1 removed").arg(aside)
                          : QStringLiteral("linking: %1 could not be removed (status %2)")
                                .arg(aside)
                                .arg(status));
}

LinkOutcome linkToNVMe(const AppMoveManifest &m, const CancelCheck &cancelled) {
    QStringList lines;
    const QString aside = m.originalPath + QStringLiteral(".quindle-old");
    const QFileInfo original(m.originalPath);
    if (isLinkTo(original, m.nvmePath)) {
        removeAside(aside, lines); // swapped before an interruption
        return {LinkOutcome::Kind::Linked, {}, lines};
    }
    if (original.isSymLink())
        return failed(lines,
                      AppRelocateError{AppRelocateError::Kind::OriginalPathBlocked, m.originalPath}
                          .message());
    if (!original.exists()) {
        lines << QStringLiteral("linking: original was already absent (skipped removeItem)");
        if (!QFile::link(m.nvmePath, m.originalPath))
            return failed(
                lines, QStringLiteral("The link at %1 could not be created.").arg(m.originalPath));
        lines << QStringLiteral("linking: symlink created");
        return {LinkOutcome::Kind::Linked, {}, lines};
    }
    if (std::optional<LinkOutcome> doubt = doubtAbout(m.originalPath, m.nvmePath, cancelled))
        return *doubt;
    lines << QStringLiteral("linking: symlink %1 → %2").arg(m.originalPath, m.nvmePath);
    if (QFileInfo(aside).isSymLink())
        QFile::remove(aside);
    if (!QFile::link(m.nvmePath, aside))
        return failed(lines, QStringLiteral("The link at %1 could not be created.").arg(aside));
    if (const std::optional<QString> error = platform::exchangePaths(m.originalPath, aside)) {
        QFile::remove(aside);
        return failed(lines, *error);
    }
    lines << QStringLiteral("linking: symlink created");
    removeAside(aside, lines);
    lines << QStringLiteral("linking complete — symlink in place at %1").arg(m.originalPath);
    return {LinkOutcome::Kind::Linked, {}, lines};
}

LinkOutcome linkBack(const AppMoveManifest &m, const CancelCheck &cancelled) {
    QStringList lines;
    const QString sidecar = m.sidecarPath();
    const QFileInfo original(m.originalPath), side(sidecar);
    if (original.isDir() && !original.isSymLink()) {
        removeAside(sidecar, lines); // swapped before an interruption: the sidecar is the link
        return {LinkOutcome::Kind::Linked, {}, lines};
    }
    if (!side.isDir() || side.isSymLink())
        return failed(lines, QStringLiteral("Restore sidecar missing at %1. Cannot complete "
                                            "restore.")
                                 .arg(sidecar));
    if (original.exists() && !original.isSymLink())
        return failed(lines,
                      AppRelocateError{AppRelocateError::Kind::OriginalPathBlocked, m.originalPath}
                          .message());
    if (std::optional<LinkOutcome> doubt = doubtAbout(m.nvmePath, sidecar, cancelled))
        return *doubt;
    if (original.isSymLink()) {
        lines << QStringLiteral("linking: exchange %1 with %2").arg(m.originalPath, sidecar);
        if (const std::optional<QString> error = platform::exchangePaths(m.originalPath, sidecar))
            return failed(lines, *error);
        removeAside(sidecar, lines);
    } else {
        lines << QStringLiteral("linking: rename %1 → %2").arg(sidecar, m.originalPath);
        if (!QFile::rename(sidecar, m.originalPath))
            return failed(lines, QStringLiteral("%1 could not be renamed.").arg(sidecar));
    }
    lines << QStringLiteral("linking complete — app restored at %1").arg(m.originalPath);
    return {LinkOutcome::Kind::Linked, {}, lines};
}

} // namespace

LinkOutcome linkApp(const AppMoveManifest &manifest, AppMoveDirection direction,
                    const CancelCheck &cancelled) {
    return direction == AppMoveDirection::ToNVMe ? linkToNVMe(manifest, cancelled)
                                                 : linkBack(manifest, cancelled);
}

} // namespace quindle
