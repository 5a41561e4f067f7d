#include "platform/PathExchange.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quindle::platform {

namespace {

QString lastError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

std::optional<QString> exchangePaths(const QString &first, const QString &second) {
    const QByteArray a = QFile::encodeName(first), b = QFile::encodeName(second);
    if (::syscall(SYS_renameat2, AT_FDCWD, a.constData(), AT_FDCWD, b.constData(),
                  RENAME_EXCHANGE) == 0)
        return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS)
        return lastError();
    const QByteArray aside = QFile::encodeName(first + QStringLiteral(".exchange"));
    if (::rename(a.constData(), aside.constData()) != 0)
        return lastError();
    if (::rename(b.constData(), a.constData()) != 0) {
        const QString reason = lastError();
        ::rename(aside.constData(), a.constData());
        return reason;
    }
    if (::rename(aside.constData(), b.constData()) != 0)
        return lastError();
    return std::nullopt;
}

} // namespace quindle::platform
