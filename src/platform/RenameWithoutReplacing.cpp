#include "platform/RenameWithoutReplacing.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quindle::platform {

namespace {

QString failure(const QString &from, const QString &to, int error) {
    return QStringLiteral("Could not rename %1 to %2: %3.")
        .arg(from, to, QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

std::optional<QString> renameWithoutReplacing(const QString &from, const QString &to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS)
        return failure(from, to, errno);
    // Filesystems without the flag: a hard link cannot replace either, but leaves two names
    // for a moment.
    if (::link(source.constData(), target.constData()) != 0)
        return failure(from, to, errno);
    if (::unlink(source.constData()) != 0) {
        const int error = errno;
        ::unlink(target.constData());
        return failure(from, to, error);
    }
    return std::nullopt;
}

} // namespace quindle::platform
