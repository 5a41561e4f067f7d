#include "platform/PrivilegedFiles.h"

#include <QDirIterator>
#include <QFile>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace quindle::platform {

std::optional<QString> privilegedProgram(const QString &root) {
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QByteArray name = QFile::encodeName(path);
        struct stat info {};
        if (::lstat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if ((info.st_mode & (S_ISUID | S_ISGID)) != 0)
            return path;
        if (::lgetxattr(name.constData(), "security.capability", nullptr, 0) > 0)
            return path;
    }
    return std::nullopt;
}

} // namespace quindle::platform
