#include "mover/ManifestStore.h"

#include "core/AtomicFile.h"
#include "core/JsonFormat.h"
#include "core/StatePaths.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QtDebug>

namespace quindle {

QString ManifestStore::directory() {
    const QString dir = paths::folderMovesDirectory();
    QDir().mkpath(dir);
    return dir;
}

QString ManifestStore::fileFor(const QUuid &id) {
    return directory() + QLatin1Char('/') + uuidText(id) + QStringLiteral(".json");
}

MoveManifest ManifestStore::write(const MoveManifest &manifest) {
    MoveManifest stamped = manifest;
    stamped.updatedAt = nowUtc();
    if (auto error = writeFileAtomically(fileFor(stamped.id), canonicalJson(stamped.toJson())))
        qWarning().noquote() << QStringLiteral("Quindle: failed to persist move manifest %1: %2")
                                    .arg(uuidText(stamped.id), *error);
    return stamped;
}

void ManifestStore::remove(const QUuid &id) {
    QFile::remove(fileFor(id));
}

QList<MoveManifest> ManifestStore::loadAll() {
    QList<MoveManifest> manifests;
    const QDir dir(directory());
    for (const QString &name :
         dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::CaseSensitive)) {
        const std::optional<QByteArray> bytes = readWholeFile(dir.filePath(name));
        if (!bytes)
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(*bytes);
        if (!document.isObject())
            continue;
        if (std::optional<MoveManifest> manifest = MoveManifest::fromJson(document.object()))
            manifests << *manifest;
    }
    sortNewestFirst(manifests);
    return manifests;
}

} // namespace quindle
