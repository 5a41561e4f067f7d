#include "platform/FolderAccess.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace quindle::platform {

namespace {

bool allowed(const QString &path, int mode) {
    return ::access(QFile::encodeName(path).constData(), mode) == 0;
}

std::optional<AccessProblem> problemWith(const QString &path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return AccessProblem{AccessProblem::Kind::Unreadable, path};
    if (S_ISLNK(info.st_mode))
        return std::nullopt; // copied as a link; its target is not ours to read
    if (S_ISDIR(info.st_mode)) {
        if (!allowed(path, R_OK | X_OK))
            return AccessProblem{AccessProblem::Kind::Unreadable, path};
        if (!allowed(path, W_OK | X_OK))
            return AccessProblem{AccessProblem::Kind::NotRemovable, path};
        return std::nullopt;
    }
    if (S_ISREG(info.st_mode) && !allowed(path, R_OK))
        return AccessProblem{AccessProblem::Kind::Unreadable, path};
    return std::nullopt;
}

} // namespace

std::optional<AccessProblem> moveAccessProblem(const QString &folder) {
    const QString parent = QFileInfo(folder).absolutePath();
    if (!allowed(parent, W_OK | X_OK))
        return AccessProblem{AccessProblem::Kind::ParentNotWritable, parent};
    if (std::optional<AccessProblem> problem = problemWith(folder))
        return problem;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        if (std::optional<AccessProblem> problem = problemWith(it.next()))
            return problem;
    return std::nullopt;
}

} // namespace quindle::platform
