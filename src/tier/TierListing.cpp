#include "tier/TierListing.h"

#include "mover/SymlinkPaths.h"
#include "platform/ChildProcess.h"
#include "platform/InstallHints.h"
#include "platform/ProgramLocations.h"
#include "tier/TierTypes.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace quindle {

namespace {

bool existsOrDangles(const QFileInfo &info) {
    return info.exists() || info.isSymLink();
}

// Folders first, then by name as a person reads it; an exact tie by code point.
void sortEntries(QList<FolderEntry> &entries) {
    std::sort(entries.begin(), entries.end(), [](const FolderEntry &a, const FolderEntry &b) {
        if (a.isDirectory != b.isDirectory)
            return a.isDirectory;
        const int folded = a.name.compare(b.name, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
}

QString rcloneMissingText() {
    const QString command = platform::installCommand(QStringLiteral("rclone"));
    return command.isEmpty()
               ? QStringLiteral("rclone isn't installed. Install rclone with your package manager.")
               : QStringLiteral("rclone isn't installed. Install with: ") + command;
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
    sortEntries(entries);
    return entries;
}

CloudListing listRcloneEntries(const QString &cloudPath) {
    const QString rclone = platform::findRclone();
    if (rclone.isEmpty())
        return {{}, rcloneMissingText()};
    if (!isCloudPath(cloudPath))
        return {{}, QStringLiteral("Invalid cloud path.")};
    platform::ChildCommand command(rclone, {QStringLiteral("lsjson"), cloudPath});
    command.environment.insert(QStringLiteral("RCLONE_ASK_PASSWORD"), QStringLiteral("false"));
    command.deadline = std::chrono::seconds(cloudListingTimeoutSeconds);
    const platform::ChildResult result = platform::ChildProcess::run(command);
    if (result.outcome == platform::ChildResult::Outcome::FailedToStart)
        return {{}, QStringLiteral("Couldn't run rclone: ") + result.startError};
    return cloudListingFrom(result.shellStatus(), result.output, result.error);
}

CloudListing cloudListingFrom(int exitStatus, const QByteArray &output,
                              const QByteArray &errorOutput) {
    if (exitStatus != 0) {
        // rclone starts each line with the date and time, which only crowds the pane.
        static const QRegularExpression stamps(
            QStringLiteral(R"((^|\n)\d{4}/\d\d/\d\d \d\d:\d\d:\d\d )"));
        const QString details =
            QString::fromUtf8(errorOutput).replace(stamps, QStringLiteral("\\1")).trimmed();
        return {{},
                details.isEmpty()
                    ? QStringLiteral("rclone exited with status %1.").arg(exitStatus)
                    : QStringLiteral("Couldn't list this folder. Details: ") + details};
    }
    const QJsonDocument document = QJsonDocument::fromJson(output);
    if (!document.isArray())
        return {{}, QStringLiteral("Couldn't read the folder listing rclone returned.")};
    CloudListing listing;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject item = value.toObject();
        const QString name = item.value(QStringLiteral("Name")).toString();
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        FolderEntry entry;
        entry.name = name;
        entry.uniqueID = item.value(QStringLiteral("Path")).toString(name);
        entry.isDirectory = item.value(QStringLiteral("IsDir")).toBool();
        if (!entry.isDirectory && item.value(QStringLiteral("Size")).isDouble())
            entry.sizeBytes = item.value(QStringLiteral("Size")).toInteger();
        listing.entries << entry;
    }
    sortEntries(listing.entries);
    return listing;
}

QString cloudLoadingText() {
    return QStringLiteral("Fetching cloud listing…");
}

QString cloudSlowText(int elapsedSeconds) {
    return QStringLiteral("%1 s — taking longer than usual").arg(elapsedSeconds);
}

QString cloudFailureTitle() {
    return QStringLiteral("We couldn't list this folder");
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
