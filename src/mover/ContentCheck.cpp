#include "mover/ContentCheck.h"

#include "mover/ProcessRunner.h"
#include "mover/SymlinkPaths.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quindle {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(),
                      O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)) {
        if (m_fd >= 0)
            ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    bool isOpen() const { return m_fd >= 0; }

    // Fills the buffer completely; false on a read error or an early end of file.
    bool readFully(char *buffer, qint64 length) const {
        while (length > 0) {
            const ssize_t got = ::read(m_fd, buffer, static_cast<size_t>(length));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            buffer += got;
            length -= got;
        }
        return true;
    }

private:
    int m_fd;
};

} // namespace

bool filesMatchByContent(const QString &source, const QString &destination) {
    struct stat from {
    }, to{};
    if (::lstat(QFile::encodeName(source).constData(), &from) != 0 ||
        ::lstat(QFile::encodeName(destination).constData(), &to) != 0)
        return false;
    if (S_ISLNK(from.st_mode)) // a link's content is its target
        return S_ISLNK(to.st_mode) &&
               linkBytes(QFile::encodeName(source)) == linkBytes(QFile::encodeName(destination));
    if (S_ISDIR(from.st_mode))
        return S_ISDIR(to.st_mode);
    if (!S_ISREG(from.st_mode))
        return true;
    if (!S_ISREG(to.st_mode) || from.st_size != to.st_size)
        return false;
    if (from.st_size == 0)
        return true;

    const FileDescriptor a(source), b(destination);
    if (!a.isOpen() || !b.isOpen())
        return false;
    // The chunks are compared directly instead of through a SHA-256 of each side: two streams
    // are equal exactly when every pair of chunks is, and memcmp stops at the first differing
    // chunk and costs no hashing. Memory stays at two chunks whatever the file size.
    const qint64 chunk = std::min<qint64>(contentCheckChunkBytes, from.st_size);
    const std::unique_ptr<char[]> left(new char[static_cast<size_t>(chunk)]);
    const std::unique_ptr<char[]> right(new char[static_cast<size_t>(chunk)]);
    for (qint64 remaining = from.st_size; remaining > 0;) {
        const qint64 length = std::min(chunk, remaining);
        if (!a.readFully(left.get(), length) || !b.readFully(right.get(), length) ||
            std::memcmp(left.get(), right.get(), static_cast<size_t>(length)) != 0)
            return false;
        remaining -= length;
    }
    return true;
}

QStringList filesDifferingInContent(const QString &source, const QString &destination,
                                    const QStringList &relativePaths,
                                    const CancelCheck &cancelled) {
    QStringList differing;
    for (const QString &path : relativePaths) {
        if (cancelled && cancelled())
            break;
        if (!filesMatchByContent(entryPath(source, path), entryPath(destination, path)))
            differing << path;
    }
    return differing;
}

qint64 sizeToleranceKB(qint64 sourceKB) {
    return sourceKB < 1700 ? 16 : sourceKB / 100;
}

bool sizesPlausible(std::optional<qint64> sourceKB, std::optional<qint64> destinationKB,
                    MoveConflictPolicy policy) {
    if (!destinationKB)
        return false;
    if (!sourceKB || *sourceKB == 0)
        return *destinationKB == 0;
    if (*destinationKB == 0)
        return false;
    const qint64 tolerance = sizeToleranceKB(*sourceKB);
    if (policy == MoveConflictPolicy::Merge)
        return *destinationKB + tolerance >= *sourceKB;
    return std::llabs(*sourceKB - *destinationKB) <= tolerance;
}

bool sizesMatchAsync(const QString &source, const QString &destination, qint64 knownSourceKB,
                     MoveConflictPolicy policy) {
    const std::optional<qint64> destinationKB = duKBAsync(destination);
    if (!destinationKB)
        return false;
    const std::optional<qint64> sourceKB =
        knownSourceKB > 0 ? std::optional<qint64>(knownSourceKB) : duKBAsync(source);
    return sizesPlausible(sourceKB, destinationKB, policy);
}

} // namespace quindle
