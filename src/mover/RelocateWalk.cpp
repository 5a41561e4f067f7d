#include "mover/RelocateWalk.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fts.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quindle {

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The copy is there and of the same kind: a link or a folder where a file was is no copy of it.
bool hasCopy(const QByteArray &counterpart, mode_t originalType) {
    struct stat info {};
    return ::lstat(counterpart.constData(), &info) == 0 && (info.st_mode & S_IFMT) == originalType;
}

// Puts a link to `target` in place of `path` with one rename, so a crash leaves either the file
// or the link, never neither. The error text on failure.
std::optional<QString> replaceWithLink(const QByteArray &path, const QByteArray &target) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray temporary =
        path.left(slash + 1) + ".qndl-link." + QByteArray::number(::getpid());
    if (::symlink(target.constData(), temporary.constData()) != 0)
        return systemError();
    if (::rename(temporary.constData(), path.constData()) != 0) {
        const QString error = systemError();
        ::unlink(temporary.constData());
        return error;
    }
    return std::nullopt;
}

} // namespace

RelocateResult relocateSourceAsFileSymlinks(const QString &source, const QString &destination,
                                            const CancelCheck &cancelled) {
    RelocateResult result;
    QStringList errors;
    const QByteArray src = QFile::encodeName(source);
    struct stat rootInfo {};
    if (::stat(src.constData(), &rootInfo) != 0) {
        errors << QStringLiteral("Source not found: ") + source;
    } else if (!S_ISDIR(rootInfo.st_mode)) {
        result.isSingleFile = true;
        if (!hasCopy(QFile::encodeName(destination), rootInfo.st_mode & S_IFMT))
            errors << QStringLiteral("Single-file relocate failed: no copy at ") + destination;
        else if (auto error = replaceWithLink(src, QFile::encodeName(destination)))
            errors << QStringLiteral("Single-file relocate failed: ") + *error;
        else
            result.filesRelinked = 1;
    } else {
        char *roots[] = {const_cast<char *>(src.constData()), nullptr};
        FTS *walk = ::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
        if (!walk) {
            errors << QStringLiteral("Could not enumerate ") + source;
        } else {
            const QByteArray prefix = src + '/';
            while (FTSENT *entry = ::fts_read(walk)) {
                if (cancelled && cancelled())
                    break; // the drive went away: the rest waits for it, as files
                if (entry->fts_level == 0 || entry->fts_info == FTS_DP)
                    continue; // the root itself, and folders seen again on the way out
                if (entry->fts_info == FTS_D || entry->fts_info == FTS_DC ||
                    entry->fts_info == FTS_DNR || entry->fts_info == FTS_SL ||
                    entry->fts_info == FTS_SLNONE) {
                    ++result.filesSkipped;
                    continue;
                }
                const QByteArray path(entry->fts_path);
                if (!path.startsWith(prefix)) {
                    errors << QStringLiteral("Unexpected path outside src: ") +
                                  QFile::decodeName(path);
                    continue;
                }
                const QByteArray relative = path.mid(prefix.size());
                const QByteArray counterpart = QFile::encodeName(destination) + '/' + relative;
                if (!hasCopy(counterpart, entry->fts_statp->st_mode & S_IFMT)) {
                    errors << QStringLiteral("Missing dst counterpart: ") +
                                  QFile::decodeName(relative);
                    continue;
                }
                if (auto error = replaceWithLink(path, counterpart))
                    errors << QFile::decodeName(relative) + QStringLiteral(": ") + *error;
                else
                    ++result.filesRelinked;
            }
            ::fts_close(walk);
        }
    }
    result.errorCount = static_cast<int>(errors.size());
    if (!errors.isEmpty())
        result.errorSummary = errors.join(QStringLiteral("; "));
    return result;
}

} // namespace quindle
