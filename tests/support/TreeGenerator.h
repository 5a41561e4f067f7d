#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace quindle::test {

// A reproducible folder tree for engine tests.
struct TreeSpec {
    unsigned seed = 1;
    int files = 24;
    int folders = 5;
    qint64 maxFileBytes = 48 * 1024;
    bool awkwardNames = true; // spaces, quotes, non-ASCII, a leading dash
    bool symlink = true;      // one relative link to a file of the tree
    bool hardLink = true;     // one second name for a file
    bool emptyFolder = true;
};

// Creates `root` and fills it. Returns the number of regular files written.
int generateTree(const QString &root, const TreeSpec &spec = {});

// Writes one file of `bytes` pseudo-random bytes.
void writeRandomFile(const QString &path, qint64 bytes, unsigned seed);

// One entry as treeEntries describes it ("f:<sha256>", "l:<target>", "d"); empty when missing.
QByteArray entryOf(const QString &path);

// Relative path → "f:<sha256>" for a regular file, "l:<target>" for a link, "d" for a folder.
// Two trees with equal maps hold the same data.
QMap<QString, QByteArray> treeEntries(const QString &root);

// The entries of `original` (a treeEntries map) whose content a user can no longer reach below any
// of `roots`: neither as it was nor behind a link to a copy. Folders are not counted.
QStringList lostEntries(const QMap<QString, QByteArray> &original, const QStringList &roots);

// One SHA-256 over treeEntries(root) and the permission bits: equal trees, equal digests.
QByteArray treeDigest(const QString &root);

} // namespace quindle::test
