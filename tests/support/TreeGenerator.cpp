#include "support/TreeGenerator.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

namespace quindle::test {

namespace {

const QStringList kAwkwardNames{"with space.txt",   "quote\"d.md",   "it's.log",
                                "ünïcødé 文件.bin", "-leading-dash", "tab\there"};

QByteArray rawLinkTarget(const QString &path) {
    char buffer[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return length < 0 ? QByteArray() : QByteArray(buffer, static_cast<qsizetype>(length));
}

QByteArray fileSha256(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("unreadable");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

} // namespace

void writeRandomFile(const QString &path, qint64 bytes, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray data(bytes, Qt::Uninitialized);
    for (qint64 i = 0; i < bytes; ++i)
        data[i] = static_cast<char>(random() & 0xff);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
}

int generateTree(const QString &root, const TreeSpec &spec) {
    std::mt19937 random(spec.seed);
    QStringList folders{root};
    for (int i = 0; i < spec.folders; ++i) {
        const QString parent = folders.at(static_cast<int>(random() % folders.size()));
        folders << parent + QStringLiteral("/dir%1").arg(i);
        QDir().mkpath(folders.last());
    }
    QDir().mkpath(root);

    QStringList written;
    for (int i = 0; i < spec.files; ++i) {
        const QString folder = folders.at(static_cast<int>(random() % folders.size()));
        QString name = QStringLiteral("file%1.dat").arg(i);
        if (spec.awkwardNames && i < kAwkwardNames.size())
            name = kAwkwardNames.at(i);
        const qint64 size =
            spec.maxFileBytes > 0 ? static_cast<qint64>(random() % spec.maxFileBytes) : 0;
        writeRandomFile(folder + u'/' + name, i == 0 ? 0 : size, spec.seed * 7919u + i);
        written << folder + u'/' + name;
    }
    if (spec.emptyFolder)
        QDir().mkpath(root + "/empty folder");
    if (spec.symlink && !written.isEmpty())
        QFile::link(QFileInfo(written.last()).fileName(),
                    QFileInfo(written.last()).path() + "/link to last");
    if (spec.hardLink && written.size() > 1)
        ::link(QFile::encodeName(written.at(1)).constData(),
               QFile::encodeName(root + "/hard link").constData());
    return static_cast<int>(written.size()) + (spec.hardLink && written.size() > 1 ? 1 : 0);
}

QByteArray entryOf(const QString &path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        return "l:" + rawLinkTarget(path);
    if (!info.exists())
        return {};
    if (info.isDir())
        return "d";
    return "f:" + fileSha256(path);
}

QMap<QString, QByteArray> treeEntries(const QString &root) {
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        entries.insert(base.relativeFilePath(path), entryOf(path));
    }
    return entries;
}

QStringList lostEntries(const QMap<QString, QByteArray> &original, const QStringList &roots) {
    QStringList lost;
    for (auto it = original.cbegin(); it != original.cend(); ++it) {
        if (it.value() == "d")
            continue;
        const bool reachable = std::any_of(roots.cbegin(), roots.cend(), [&](const QString &root) {
            const QString path = root + u'/' + it.key();
            if (entryOf(path) == it.value()) // as it was, a link included
                return true;
            const QFileInfo followed(path); // or behind a link to its copy
            return followed.exists() && !followed.isDir() &&
                   entryOf(followed.canonicalFilePath()) == it.value();
        });
        if (!reachable)
            lost << it.key();
    }
    return lost;
}

QByteArray treeDigest(const QString &root) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QMap<QString, QByteArray> entries = treeEntries(root);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        struct stat info {};
        ::lstat(QFile::encodeName(root + u'/' + it.key()).constData(), &info);
        hash.addData(it.key().toUtf8() + '\0' + it.value() + '\0' +
                     QByteArray::number(info.st_mode & 07777, 8) + '\n');
    }
    return hash.result().toHex();
}

} // namespace quindle::test
