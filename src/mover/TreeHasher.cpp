#include "mover/TreeHasher.h"

#include "mover/ProcessRunner.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <future>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quindle {

namespace {

struct DigestDeleter {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

void appendBigEndian(QByteArray &out, quint64 value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

class Walk {
public:
    Walk(const QString &root, const TreeHasher::Progress &progress, const CancelCheck &cancelled)
        : m_root(root)
        , m_rootBytes(QFile::encodeName(root))
        , m_progress(progress)
        , m_cancelled(cancelled)
        , m_buffer(new char[TreeHasher::chunkBytes]) {}

    std::optional<QString> run() {
        const std::optional<QStringList> entries = listTree(m_root);
        if (!entries || !m_digest || !EVP_DigestInit_ex(m_digest.get(), EVP_sha256(), nullptr))
            return std::nullopt;
        // du only when someone is watching: it walks the whole tree a second time.
        if (m_progress)
            m_total = duKBAsync(m_root).value_or(0) * 1024;

        for (const QString &relative : *entries) {
            if (stopped())
                return std::nullopt;
            if (!addEntry(relative))
                return std::nullopt;
        }

        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!EVP_DigestFinal_ex(m_digest.get(), digest, &length))
            return std::nullopt;
        if (m_progress) {
            const qint64 total = m_total > 0 ? m_total : m_done;
            m_progress(total, total);
        }
        return QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(digest), static_cast<qsizetype>(length))
                .toHex());
    }

private:
    // A root that is gone means the drive went away: no digest rather than one of a part.
    bool stopped() const {
        struct stat info {};
        return (m_cancelled && m_cancelled()) || ::lstat(m_rootBytes.constData(), &info) != 0;
    }

    bool update(const void *data, size_t length) {
        return EVP_DigestUpdate(m_digest.get(), data, length) == 1;
    }

    // False only for what makes the digest meaningless: a read failure partway through a file.
    bool addEntry(const QString &relative) {
        const QByteArray path =
            relative.isEmpty() ? m_rootBytes : m_rootBytes + '/' + QFile::encodeName(relative);
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0)
            return true; // vanished between listing and now: contributes nothing

        QByteArray head = relative.toUtf8();
        head += '\0';
        appendBigEndian(head, static_cast<quint32>(info.st_mode), 4);
        head += '\0';

        if (S_ISLNK(info.st_mode)) {
            char target[4096];
            const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
            if (length >= 0) {
                appendBigEndian(head, static_cast<quint64>(length), 8);
                head += '\0';
                head.append(target, static_cast<qsizetype>(length));
            }
            head += '\n';
            return update(head.constData(), static_cast<size_t>(head.size()));
        }
        if (S_ISDIR(info.st_mode)) {
            head += '\n';
            return update(head.constData(), static_cast<size_t>(head.size()));
        }
        if (!S_ISREG(info.st_mode)) {
            head += "SPECIAL\n";
            return update(head.constData(), static_cast<size_t>(head.size()));
        }

        appendBigEndian(head, static_cast<quint64>(info.st_size), 8);
        head += '\0';
        // O_NONBLOCK: should the file have been swapped for a FIFO, open must not wait for a
        // writer. It has no effect on regular files.
        // O_NOATIME: hashing is not using, so it must not make an app look recently used. Only
        // the owner may ask for it.
        constexpr int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
        int fd = ::open(path.constData(), flags | O_NOATIME);
        if (fd < 0 && errno == EPERM)
            fd = ::open(path.constData(), flags);
        if (fd < 0) {
            head += "ERR_UNREADABLE\n";
            return update(head.constData(), static_cast<size_t>(head.size()));
        }
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        bool ok = update(head.constData(), static_cast<size_t>(head.size()));
        while (ok) {
            const ssize_t got = ::read(fd, m_buffer.get(), TreeHasher::chunkBytes);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ok = got == 0;
                break;
            }
            ok = update(m_buffer.get(), static_cast<size_t>(got));
            m_done += got;
            reportProgress();
            // A single large file would otherwise hold off cancellation for minutes.
            if (m_cancelled && m_cancelled())
                ok = false;
        }
        ::close(fd);
        return ok && update("\n", 1);
    }

    // At most one report per chunk's worth of bytes, so trees of tiny files do not flood the
    // receiver. du counts allocated blocks, so done may pass the total for sparse files.
    void reportProgress() {
        if (!m_progress || m_done - m_reported < TreeHasher::chunkBytes)
            return;
        m_reported = m_done;
        m_progress(m_total > 0 ? std::min(m_done, m_total) : m_done, m_total);
    }

    const QString m_root;
    const QByteArray m_rootBytes;
    const TreeHasher::Progress &m_progress;
    const CancelCheck &m_cancelled;
    Digest m_digest{EVP_MD_CTX_new()};
    // One buffer for every file of the walk: memory stays at one chunk whatever the file sizes.
    std::unique_ptr<char[]> m_buffer;
    qint64 m_total = 0;
    qint64 m_done = 0;
    qint64 m_reported = 0;
};

} // namespace

std::optional<QString> TreeHasher::hash(const QString &root, const Progress &progress,
                                        const CancelCheck &cancelled) {
    struct stat info {};
    if (::lstat(QFile::encodeName(root).constData(), &info) != 0)
        return std::nullopt;
    return Walk(root, progress, cancelled).run();
}

TreeHasher::Pair TreeHasher::hashBoth(const QString &source, const QString &destination,
                                      const Progress &sourceProgress,
                                      const Progress &destinationProgress,
                                      const CancelCheck &cancelled) {
    std::atomic_bool sourceFailed{false};
    std::atomic_bool sourceDone{false};
    std::mutex held;
    std::optional<std::pair<qint64, qint64>> pending; // the destination's latest, held back
    const Progress destinationHeldBack = [&](qint64 done, qint64 total) {
        if (!destinationProgress)
            return;
        const std::lock_guard<std::mutex> lock(held);
        if (sourceDone)
            destinationProgress(done, total);
        else
            pending = {done, total};
    };
    const CancelCheck stopDestination = [&] {
        return sourceFailed.load() || (cancelled && cancelled());
    };
    std::future<std::optional<QString>> other = std::async(std::launch::async, [&] {
        return hash(destination, destinationProgress ? destinationHeldBack : Progress(),
                    stopDestination);
    });
    Pair pair;
    pair.source = hash(source, sourceProgress, cancelled);
    sourceFailed = !pair.source;
    {
        const std::lock_guard<std::mutex> lock(held);
        sourceDone = true;
        if (pending && pair.source)
            destinationProgress(pending->first, pending->second);
    }
    pair.destination = other.get();
    if (!pair.source)
        pair.destination.reset();
    return pair;
}

} // namespace quindle
