#include "mover/SourceLinkScan.h"

#include "core/NVMeMount.h"
#include "mover/PathOverlap.h"
#include "mover/SymlinkPaths.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fts.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace quindle {

namespace {

bool isRegularFile(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// The destination already holds this very link (rsync copied it before): writing it again changes
// nothing, wherever it leads.
bool isCopiedLink(const QByteArray &link, const QString &counterpart) {
    const QByteArray copy = linkBytes(QFile::encodeName(counterpart)).value_or(QByteArray());
    return !copy.isEmpty() && copy == linkBytes(link).value_or(QByteArray());
}

// The entries of a folder walk, links not followed; the root itself is skipped.
class PhysicalWalk {
public:
    explicit PhysicalWalk(const QString &root)
        : m_root(QFile::encodeName(root)) {
        char *roots[] = {m_root.data(), nullptr};
        m_walk = ::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
    }
    ~PhysicalWalk() {
        if (m_walk)
            ::fts_close(m_walk);
    }
    PhysicalWalk(const PhysicalWalk &) = delete;
    PhysicalWalk &operator=(const PhysicalWalk &) = delete;

    bool opened() const { return m_walk != nullptr; }
    FTSENT *next() { return m_walk ? ::fts_read(m_walk) : nullptr; }
    // The entry's path below the root.
    QString relative(const FTSENT *entry) const {
        return QFile::decodeName(QByteArray(entry->fts_path).mid(m_root.size() + 1));
    }

private:
    QByteArray m_root;
    FTS *m_walk = nullptr;
};

} // namespace

QString SourceLinkScan::refusal() const {
    return QStringLiteral(
               "%1 links into the destination (%2); moving it would overwrite the data it points "
               "to.")
        .arg(linkPath, linkTarget);
}

SourceLinkScan scanSourceLinks(const QString &src, const QString &finalDst,
                               const CancelCheck &cancelled) {
    SourceLinkScan scan;
    struct stat rootInfo {};
    if (::lstat(QFile::encodeName(src).constData(), &rootInfo) != 0 || !S_ISDIR(rootInfo.st_mode))
        return scan;
    const QString destination = resolvedPath(finalDst);
    qsizetype files = 0;
    std::optional<std::pair<QString, QString>> firstForeign, firstToCopy;
    PhysicalWalk walk(src);
    while (FTSENT *entry = walk.next()) {
        if (cancelled && cancelled()) {
            scan.verdict = SourceLinkScan::Verdict::Cancelled;
            return scan;
        }
        if (entry->fts_level == 0 || entry->fts_info == FTS_D || entry->fts_info == FTS_DP)
            continue;
        if (entry->fts_info != FTS_SL && entry->fts_info != FTS_SLNONE) {
            ++files; // regular files, special files and whatever could not be read
            continue;
        }
        const QString path = QFile::decodeName(entry->fts_path);
        const QString target = resolvedLinkTarget(path).value_or(QString());
        if (target.isEmpty() || !isSameOrInside(target, destination))
            continue;
        const QString counterpart = destination + QLatin1Char('/') + walk.relative(entry);
        if (isCopiedLink(entry->fts_path, counterpart))
            continue;
        if (target == counterpart && isRegularFile(counterpart)) {
            ++scan.linksToCopies;
            if (!firstToCopy)
                firstToCopy = std::make_pair(path, target);
        } else if (!firstForeign) {
            firstForeign = std::make_pair(path, target);
        }
    }
    if (!firstForeign && !firstToCopy)
        return scan;
    if (!firstForeign && files == 0) {
        scan.verdict = SourceLinkScan::Verdict::AlreadyAtDestination;
        return scan;
    }
    scan.verdict = SourceLinkScan::Verdict::LinksIntoDestination;
    std::tie(scan.linkPath, scan.linkTarget) = firstForeign ? *firstForeign : *firstToCopy;
    return scan;
}

std::optional<QString> removeRelocatedLinks(const QString &src, const QString &finalDst) {
    const QString destination = resolvedPath(finalDst);
    PhysicalWalk walk(src);
    if (!walk.opened())
        return QStringLiteral("could not read %1").arg(src);
    while (FTSENT *entry = walk.next()) {
        const QString path = QFile::decodeName(entry->fts_path);
        if (entry->fts_info == FTS_D)
            continue;
        if (entry->fts_info == FTS_DP) {
            if (::rmdir(entry->fts_path) != 0)
                return QStringLiteral("%1 is not empty").arg(path);
            continue;
        }
        if (entry->fts_info != FTS_SL && entry->fts_info != FTS_SLNONE)
            return QStringLiteral("%1 is not a link").arg(path);
        const QString counterpart = destination + QLatin1Char('/') + walk.relative(entry);
        const bool toCopy = resolvedLinkTarget(path) == counterpart && isRegularFile(counterpart);
        if (!toCopy && !isCopiedLink(entry->fts_path, counterpart))
            return QStringLiteral("%1 has no copy at %2").arg(path, counterpart);
        if (::unlink(entry->fts_path) != 0)
            return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return std::nullopt;
}

} // namespace quindle
