#pragma once

#include "transfers/TransferJob.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quindle {

// ~/.quindle/sync/jobs.json: the transfers, newest first.
namespace JobStore {

QString jobsFile();

struct Loaded {
    QList<SyncJob> jobs;
    // The file held something that could not be read (a record, or the whole file): it must
    // be kept before the next save overwrites it.
    bool damaged = false;
};

// Records decode one by one; a bad one is skipped. A missing file is an empty list.
Loaded load();

// Writes the list whole; the reason when it could not.
std::optional<QString> save(const QList<SyncJob> &jobs);

// Copies the file as it is now to jobs.json.corrupt-<yyyyMMddTHHmmssZ> beside it, and returns
// the sentence that tells the user so; the reason when the copy failed.
struct Kept {
    QString notice;
    std::optional<QString> error;
};
Kept keepDamagedFile(const QDateTime &now);

} // namespace JobStore

} // namespace quindle
