#include "tier/TierListing.h"

#include "mover/SymlinkPaths.h"
#include "tier/TierTypes.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace quindle {

namespace {

bool existsOrDangles(const QFileInfo &info) {
    return info.exists() || info.isSymLink();
}

} // namespace

std::optional<FolderEntry> folderEntry(const QString &folder, const QString &name,
                                       const QStringList &appsRoots) {
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return std::nullopt;
    const QFileInfo info(QDir(folder).filePath(name));
    if (!existsOrDangles(info))
        return std::nullopt;
    FolderEntry entry;
    entry.name = name;
    entry.uniqueID = name;
    entry.isSymbolicLink = pathIsSymbolicLink(info.filePath());
    entry.isDirectory = info.isDir();
    entry.isAppBundle = entry.isDirectory && appsRoots.contains(QDir::cleanPath(folder));
    if (info.isFile())
        entry.sizeBytes = info.size();
    return entry;
}

QList<FolderEntry> listEntries(const QString &folder, const QStringList &appsRoots) {
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    QList<FolderEntry> entries;
    for (const QString &name : names)
        if (!name.startsWith(QLatin1Char('.')))
            if (std::optional<FolderEntry> entry = folderEntry(folder, name, appsRoots))
                entries << *entry;
    std::sort(entries.begin(), entries.end(), [](const FolderEntry &a, const FolderEntry &b) {
        if (a.isDirectory != b.isDirectory)
            return a.isDirectory;
        const int folded = a.name.compare(b.name, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
    return entries;
}

QStringList movableItems(const QString &folder, const QStringList &selection,
                         const QStringList &appsRoots) {
    if (isCloudPath(folder))
        return selection; // a remote holds no applications, and its entries are not on this disk
    QStringList movable;
    for (const QString &name : selection) {
        const std::optional<FolderEntry> entry = folderEntry(folder, name, appsRoots);
        if (entry && !entry->isAppBundle)
            movable << name;
    }
    return movable;
}

QString noMovableItemsText() {
    return QStringLiteral("No movable items selected (application folders are excluded — use the "
                          "Apps window for those).");
}

QString appBundleRowHint() {
    return QStringLiteral("Application folder — move it in the Apps window, which keeps its link "
                          "and checks the copy");
}

int countFilesAtPath(const QString &path, int limit) {
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink())
        return 1;
    int count = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (count < limit && it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

} // namespace quindle
