#include "updates/FileSha256.h"

#include <QByteArray>
#include <QFile>

#include <openssl/evp.h>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace quindle {

namespace {

struct DigestDeleter {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

} // namespace

std::optional<QString> sha256Hex(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const std::unique_ptr<EVP_MD_CTX, DigestDeleter> digest(EVP_MD_CTX_new());
    constexpr size_t chunk = 1024 * 1024;
    const std::unique_ptr<char[]> buffer(new char[chunk]);
    bool ok = digest && EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) == 1;
    while (ok) {
        const ssize_t got = ::read(fd, buffer.get(), chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = EVP_DigestUpdate(digest.get(), buffer.get(), static_cast<size_t>(got)) == 1;
    }
    ::close(fd);
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(digest.get(), bytes, &length) != 1)
        return std::nullopt;
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(length)).toHex());
}

} // namespace quindle
