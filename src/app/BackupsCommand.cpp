#include "app/CommandLine.h"

#include "app/EngineLock.h"
#include "insight/BackupStore.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace quindle {

namespace {

int backupsUsage(QTextStream &err) {
    err << "Usage: quindle backups list\n"
           "       quindle backups now\n"
           "       quindle backups restore FOLDER\n";
    return 2;
}

int listBackups(QTextStream &out) {
    BackupStore store;
    store.refresh();
    if (store.records().isEmpty()) {
        out << store.emptyText() << '\n';
        return 0;
    }
    for (const BackupRecord &record : store.records())
        out << record.dateText() << '\t' << record.host.value_or(QStringLiteral("-")) << '\t'
            << record.version.value_or(QStringLiteral("-")) << '\t' << record.folder << '\n';
    return 0;
}

int backUpNow(QTextStream &out) {
    BackupStore store;
    store.runBackupNowBlocking();
    out << store.lastManualResult().value_or(QString()) << '\n';
    return store.lastManualSucceeded() ? 0 : 1;
}

int restore(const QString &folder, QTextStream &out, QTextStream &err) {
    // Held throughout, so that the application cannot start its engines on a half-restored
    // state; it moves with the state folder, so it is taken again in the restored one.
    std::unique_ptr<QLockFile> lock = takeEngineLock();
    if (!lock) {
        err << engineLockHeldMessage() << '\n';
        return 1;
    }
    BackupStore store({}, [&lock] {
        (void)lock.release(); // its file left with the old state folder
        lock = takeEngineLock();
    });
    store.refresh();
    const QString wanted = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const auto found =
        std::find_if(store.records().cbegin(), store.records().cend(), [&](const auto &record) {
            return record.folder == wanted || QFileInfo(record.folder).fileName() == folder;
        });
    if (found == store.records().cend()) {
        err << folder << " is not a backup on the NVMe; quindle backups list shows them.\n";
        return 1;
    }
    const BackupRecord record = *found;
    if (const std::optional<QString> error = store.restore(record)) {
        err << *error << '\n';
        return 1;
    }
    out << BackupStore::restoredText(record) << '\n';
    return 0;
}

} // namespace

// quindle backups list|now|restore FOLDER: the self-backups on the NVMe.
int runBackups(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("list") && arguments.size() == 1)
        return listBackups(out);
    if (verb == QLatin1String("now") && arguments.size() == 1)
        return backUpNow(out);
    if (verb == QLatin1String("restore") && arguments.size() == 2 && !arguments.at(1).isEmpty())
        return restore(arguments.at(1), out, err);
    return backupsUsage(err);
}

} // namespace quindle
