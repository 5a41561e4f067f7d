#include "platform/FolderUsers.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace quindle::platform {

namespace {

const QString kDeleted = QStringLiteral(" (deleted)");

QString rawLinkText(const QString &link) {
    QByteArray buffer(4096, '\0');
    const ssize_t length =
        ::readlink(QFile::encodeName(link).constData(), buffer.data(), buffer.size());
    if (length <= 0)
        return {};
    QString target = QFile::decodeName(buffer.left(length));
    if (target.endsWith(kDeleted))
        target.chop(kDeleted.size());
    return target;
}

// The folder of `folders` that `path` lies in, or an empty string.
QString containing(const QString &path, const QStringList &folders) {
    if (!path.startsWith(QLatin1Char('/')))
        return {};
    for (const QString &folder : folders)
        if (path == folder || path.startsWith(folder + QLatin1Char('/')))
            return folder;
    return {};
}

// Every path the process has in use, the cheap ones first.
QStringList pathsInUse(const QString &procDir) {
    QStringList paths{rawLinkText(procDir + QStringLiteral("/exe")),
                      rawLinkText(procDir + QStringLiteral("/cwd"))};
    const QDir fds(procDir + QStringLiteral("/fd"));
    for (const QString &fd :
         fds.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        paths << rawLinkText(fds.filePath(fd));
    QFile maps(procDir + QStringLiteral("/maps"));
    if (maps.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : maps.readAll().split('\n')) {
            const qsizetype slash = line.indexOf('/');
            if (slash < 0)
                continue;
            QString path = QFile::decodeName(line.mid(slash));
            if (path.endsWith(kDeleted))
                path.chop(kDeleted.size());
            paths << path;
        }
    }
    return paths;
}

} // namespace

QHash<QString, FolderUser> folderUsers(const QStringList &folders) {
    QHash<QString, FolderUser> users;
    if (folders.isEmpty())
        return users;
    const QDir proc(QStringLiteral("/proc"));
    const qint64 self = ::getpid();
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self)
            continue;
        const QString dir = proc.filePath(entry);
        QString name;
        for (const QString &path : pathsInUse(dir)) {
            const QString folder = containing(path, folders);
            if (folder.isEmpty() || users.contains(folder))
                continue;
            if (name.isEmpty()) {
                QFile comm(dir + QStringLiteral("/comm"));
                if (comm.open(QIODevice::ReadOnly))
                    name = QString::fromUtf8(comm.readAll()).trimmed();
            }
            users.insert(folder, FolderUser{pid, name});
        }
        if (users.size() == folders.size())
            break;
    }
    return users;
}

} // namespace quindle::platform
