#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// One row of a pane.
struct FolderEntry {
    QString name;
    bool isDirectory = false; // for a link: whether its target is a folder
    // An application: a folder directly inside the apps root. The Apps window moves those.
    bool isAppBundle = false;
    std::optional<qint64> sizeBytes; // files only
    bool isSymbolicLink = false;
    QString uniqueID;

    bool operator==(const FolderEntry &) const = default;
};

// The entry `name` of the local folder `folder`; nothing when it does not exist (not even as a
// dangling link). The folders directly inside one of `appsRoots` are applications.
std::optional<FolderEntry> folderEntry(const QString &folder, const QString &name,
                                       const QStringList &appsRoots);

// The visible entries of a local folder, folders first, then by name; hidden names (".x") are
// left out. A folder that cannot be read lists as empty.
QList<FolderEntry> listEntries(const QString &folder, const QStringList &appsRoots);

// The selected names that may be moved from `folder`: applications and vanished names left out,
// in the order given.
QStringList movableItems(const QString &folder, const QStringList &selection,
                         const QStringList &appsRoots);

// Why nothing could be moved, and the hint on an application's row.
QString noMovableItemsText();
QString appBundleRowHint();

// The entries of a cloud folder ("remote:path"), or why it could not be listed.
struct CloudListing {
    QList<FolderEntry> entries;
    std::optional<QString> error; // a sentence
};

// Lists a cloud folder with `rclone lsjson`, sorted as a local folder is. Blocks, at most
// `cloudListingTimeoutSeconds`.
constexpr int cloudListingTimeoutSeconds = 60;
CloudListing listRcloneEntries(const QString &cloudPath);
// How rclone's answer reads: `output` is its standard output, `errorOutput` its standard error.
CloudListing cloudListingFrom(int exitStatus, const QByteArray &output,
                              const QByteArray &errorOutput);

QString cloudLoadingText();                // "Fetching cloud listing…"
QString cloudSlowText(int elapsedSeconds); // "12 s — taking longer than usual"
QString cloudFailureTitle();               // "We couldn't list this folder"
// After this many seconds the loading text says how long it has been.
constexpr int cloudSlowAfterSeconds = 5;

// The files a replace would delete at `path`: 1 for anything that is not a folder, otherwise the
// regular files below it. Counting stops at `limit`.
constexpr int fileCountLimit = 20000;
int countFilesAtPath(const QString &path, int limit = fileCountLimit);

} // namespace quindle
