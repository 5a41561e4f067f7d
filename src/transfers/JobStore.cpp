#include "transfers/JobStore.h"

#include "core/AtomicFile.h"
#include "core/JsonFormat.h"
#include "core/StatePaths.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace quindle::JobStore {

QString jobsFile() {
    return paths::syncDirectory() + QStringLiteral("/jobs.json");
}

Loaded load() {
    Loaded loaded;
    const std::optional<QByteArray> bytes = readWholeFile(jobsFile());
    if (!bytes)
        return loaded;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parseError);
    if (!document.isArray()) {
        loaded.damaged = true;
        return loaded;
    }
    for (const QJsonValue &value : document.array()) {
        QString error;
        std::optional<SyncJob> job = SyncJob::fromJson(value.toObject(), &error);
        if (!job) {
            qWarning().noquote() << "Quindle: a saved transfer was skipped:" << error;
            loaded.damaged = true;
            continue;
        }
        loaded.jobs << std::move(*job);
    }
    return loaded;
}

std::optional<QString> save(const QList<SyncJob> &jobs) {
    QJsonArray array;
    for (const SyncJob &job : jobs)
        array << job.toJson();
    QDir().mkpath(paths::syncDirectory());
    return writeFileAtomically(jobsFile(), QJsonDocument(array).toJson(QJsonDocument::Indented));
}

Kept keepDamagedFile(const QDateTime &now) {
    const QString name = QFileInfo(jobsFile()).fileName() + QStringLiteral(".corrupt-") +
                         now.toUTC().toString(QStringLiteral("yyyyMMddTHHmmss")) + QLatin1Char('Z');
    Kept kept;
    kept.notice =
        QStringLiteral("Some saved transfers could not be read. The original file was kept as %1.")
            .arg(name);
    const std::optional<QByteArray> bytes = readWholeFile(jobsFile());
    if (!bytes)
        kept.error = QStringLiteral("The transfers file could not be read again.");
    else
        kept.error = writeFileAtomically(paths::syncDirectory() + QLatin1Char('/') + name, *bytes);
    return kept;
}

} // namespace quindle::JobStore
