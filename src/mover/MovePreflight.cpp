#include "mover/MovePreflight.h"

#include "core/DriveIdentity.h"
#include "core/NVMeMount.h"
#include "core/ServiceStatus.h"
#include "mover/PathOverlap.h"
#include "mover/SourceLinkScan.h"
#include "mover/SymlinkPaths.h"
#include "platform/VolumeLocations.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace quindle {

namespace {

using Outcome = Preflight::Outcome;

Preflight verdict(Outcome outcome, const QString &message = {}) {
    Preflight result;
    result.outcome = outcome;
    result.message = message;
    return result;
}

bool exists(const QString &path) {
    return QFileInfo::exists(path);
}

QString reportedNVMePath() {
    return StatusFileKeys::read().nvmePath.value_or(QString());
}

// The recorded drive must be the one mounted now, and a destination on the drive needs the drive.
std::optional<Preflight> driveRefusal(const MoveManifest &m, Preflight &result) {
    if (m.driveUUID) {
        const std::optional<QString> current = currentDriveUUID();
        if (current && *current != *m.driveUUID)
            return verdict(Outcome::Fail,
                           QStringLiteral("Destination drive UUID mismatch (%1 vs %2). Refusing to "
                                          "write into a different drive.")
                               .arg(*m.driveUUID, *current));
        const QString reported = reportedNVMePath();
        if (!exists(reported.isEmpty() ? platform::defaultNVMePath() : reported))
            return verdict(Outcome::Park, QStringLiteral("NVMe drive not mounted."));
    }
    if (const std::optional<QString> root = nvmeRootOf(m.dstParent)) {
        if (!nvmeIsMounted(*root))
            return verdict(Outcome::Park, nvmeNotMountedText());
        if (!m.driveUUID)
            result.driveUUID = currentDriveUUID();
    }
    return std::nullopt;
}

std::optional<Preflight> linkRefusal(const MoveManifest &m, const CancelCheck &cancelled) {
    const SourceLinkScan scan = scanSourceLinks(m.src, m.finalDst, cancelled);
    switch (scan.verdict) {
    case SourceLinkScan::Verdict::Clear:
        return std::nullopt;
    case SourceLinkScan::Verdict::Cancelled:
        return verdict(Outcome::Cancelled);
    case SourceLinkScan::Verdict::LinksIntoDestination:
        return verdict(Outcome::Fail, scan.refusal());
    case SourceLinkScan::Verdict::AlreadyAtDestination:
        break;
    }
    if (m.replaceSourceWithSymlink)
        return verdict(Outcome::AlreadyThere,
                       QStringLiteral("noop: %1 already links every file to %2; nothing to copy "
                                      "(would have rsynced links onto their own targets)")
                           .arg(m.src, m.finalDst));
    if (const std::optional<QString> error = removeRelocatedLinks(m.src, m.finalDst))
        return verdict(Outcome::Fail,
                       QStringLiteral("Removing the links of %1 stopped: %2. The data is at %3.")
                           .arg(m.src, *error, m.finalDst));
    return verdict(Outcome::AlreadyThere,
                   QStringLiteral("noop: %1 linked every file to %2; removed %3 symlink%4, no "
                                  "transfer needed (would have rsynced data onto itself)")
                       .arg(m.src, m.finalDst)
                       .arg(scan.linksToCopies)
                       .arg(scan.linksToCopies == 1 ? "" : "s"));
}

std::optional<Preflight> parentRefusal(const MoveManifest &m) {
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(m.dstParent).toStdString(), error);
    if (error) {
        const QString drive = reportedNVMePath();
        if (m.driveUUID && !drive.isEmpty() && !exists(drive))
            return verdict(Outcome::Park,
                           QStringLiteral("NVMe drive disconnected while preparing destination."));
        return verdict(Outcome::Fail,
                       QStringLiteral("Could not create destination parent %1: %2")
                           .arg(m.dstParent, QString::fromLocal8Bit(error.message().c_str())));
    }
    if (!QFileInfo(m.dstParent).isDir())
        return verdict(Outcome::Fail,
                       QStringLiteral("Destination parent %1 doesn't exist after createDirectory "
                                      "succeeded — refusing to spawn rsync.")
                           .arg(m.dstParent));
    return std::nullopt;
}

} // namespace

QString nvmeNotMountedText() {
    return QStringLiteral("The NVMe is not mounted; nothing was copied.");
}

Preflight preflightCopy(const MoveManifest &m, const CancelCheck &cancelled) {
    if (const std::optional<QString> overlap = overlapRefusal(m.src, m.finalDst))
        return verdict(Outcome::Fail, *overlap);
    Preflight result;
    if (std::optional<Preflight> refusal = driveRefusal(m, result))
        return *refusal;
    if (std::optional<Preflight> refusal = linkRefusal(m, cancelled))
        return *refusal;
    if (std::optional<Preflight> refusal = parentRefusal(m))
        return *refusal;
    result.destinationExists = exists(m.finalDst) || pathIsSymbolicLink(m.finalDst);
    return result;
}

Preflight preflightCleanup(const MoveManifest &m) {
    // A source that is a link (a relocated single file, or a link copied as a link) holds no data.
    if (!pathIsSymbolicLink(m.src))
        if (const std::optional<QString> overlap = overlapRefusal(m.src, m.finalDst))
            return verdict(Outcome::Fail, *overlap);
    if (const std::optional<QString> root = nvmeRootOf(m.finalDst);
        (root && !nvmeIsMounted(*root)) || !exists(m.dstParent))
        return verdict(
            Outcome::Park,
            QStringLiteral("Destination drive disappeared mid-move. Will resume on reconnect."));
    struct stat copy {};
    if (::lstat(QFile::encodeName(m.finalDst).constData(), &copy) != 0)
        return verdict(Outcome::Fail,
                       QStringLiteral("The copy at %1 is gone; the source was left as it is.")
                           .arg(m.finalDst));
    if (S_ISLNK(copy.st_mode) && !pathIsSymbolicLink(m.src))
        return verdict(Outcome::Fail,
                       QStringLiteral("The destination %1 is a link, not a copy; the source was "
                                      "left as it is.")
                           .arg(m.finalDst));
    return {};
}

} // namespace quindle
