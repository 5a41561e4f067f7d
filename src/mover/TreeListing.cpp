#include "mover/TreeListing.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quindle {

namespace {

// Reads one folder's names. Fails rather than skipping: a folder the walk cannot see would let
// a copy pass verification without its contents being looked at.
bool readFolder(const QByteArray &path, std::vector<std::pair<QByteArray, bool>> &entries) {
    // O_NOFOLLOW: a folder swapped for a link between readdir and here is not walked into.
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            ok = errno == 0;
            break;
        }
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            const QByteArray full = path + '/' + name;
            if (::lstat(full.constData(), &info) != 0) {
                ok = false;
                break;
            }
            isFolder = S_ISDIR(info.st_mode);
        }
        entries.emplace_back(QByteArray(name), isFolder);
    }
    ::closedir(dir);
    return ok;
}

} // namespace

std::optional<QStringList> listTree(const QString &root) {
    const QByteArray rootBytes = QFile::encodeName(root);
    struct stat info {};
    if (::lstat(rootBytes.constData(), &info) != 0)
        return std::nullopt;
    if (!S_ISDIR(info.st_mode))
        return QStringList{QString()};

    // Sorted by the raw bytes of the whole relative path (for UTF-8 names, code point order),
    // not folder by folder: "a b" comes before "a/b". The tree digest depends on this order.
    std::vector<QByteArray> relative;
    std::vector<QByteArray> pending{QByteArray()};
    std::vector<std::pair<QByteArray, bool>> entries;
    while (!pending.empty()) {
        const QByteArray folder = std::move(pending.back());
        pending.pop_back();
        entries.clear();
        // Each folder is read whole and closed before descending, so depth costs no descriptors.
        if (!readFolder(folder.isEmpty() ? rootBytes : rootBytes + '/' + folder, entries))
            return std::nullopt;
        for (auto &[name, isFolder] : entries) {
            QByteArray path = folder.isEmpty() ? name : folder + '/' + name;
            if (isFolder)
                pending.push_back(path);
            relative.push_back(std::move(path));
        }
    }
    std::sort(relative.begin(), relative.end());

    QStringList list;
    list.reserve(static_cast<qsizetype>(relative.size()));
    for (const QByteArray &path : relative)
        list << QFile::decodeName(path);
    return list;
}

QString entryPath(const QString &root, const QString &relativePath) {
    return relativePath.isEmpty() ? root : root + QLatin1Char('/') + relativePath;
}

} // namespace quindle
