#include "apps/AppManifestStore.h"

#include "core/AtomicFile.h"
#include "core/JsonFormat.h"
#include "core/StatePaths.h"
#include "mover/MoveManifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtDebug>

#include <algorithm>

namespace quindle {

QString AppManifestStore::directory() {
    const QString dir = paths::appMovesDirectory();
    QDir().mkpath(dir);
    return dir;
}

QString AppManifestStore::fileFor(const QUuid &id) {
    return directory() + QLatin1Char('/') + uuidText(id) + QStringLiteral(".json");
}

AppMoveManifest AppManifestStore::write(const AppMoveManifest &manifest) {
    AppMoveManifest stamped = manifest;
    stamped.updatedAt = nowUtc();
    if (auto error = writeFileAtomically(fileFor(stamped.id), canonicalJson(stamped.toJson())))
        qWarning().noquote() << QStringLiteral("Quindle: failed to persist app-move manifest "
                                               "%1: %2")
                                    .arg(uuidText(stamped.id), *error);
    return stamped;
}

void AppManifestStore::remove(const QUuid &id) {
    QFile::remove(fileFor(id));
}

QList<AppMoveManifest> AppManifestStore::loadAll() {
    QList<AppMoveManifest> manifests;
    const QDir dir(paths::appMovesDirectory());
    for (const QString &name :
         dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::CaseSensitive)) {
        const std::optional<QByteArray> bytes = readWholeFile(dir.filePath(name));
        const QJsonDocument document = QJsonDocument::fromJson(bytes.value_or(QByteArray()));
        if (!document.isObject())
            continue;
        if (std::optional<AppMoveManifest> manifest = AppMoveManifest::fromJson(document.object()))
            manifests << *manifest;
    }
    std::stable_sort(manifests.begin(), manifests.end(),
                     [](const AppMoveManifest &a, const AppMoveManifest &b) {
                         return a.startedAt > b.startedAt;
                     });
    return manifests;
}

namespace {

// The ledger's elements; nothing when the file exists but is not a ledger.
std::optional<QList<MovedApp>> readLedger() {
    const QString file = paths::movedAppsFile();
    if (!QFileInfo::exists(file))
        return QList<MovedApp>{};
    const std::optional<QByteArray> bytes = readWholeFile(file);
    const QJsonDocument document = QJsonDocument::fromJson(bytes.value_or(QByteArray()));
    if (!bytes || !document.isArray())
        return std::nullopt;
    QList<MovedApp> moved;
    for (const QJsonValue &value : document.array()) {
        const std::optional<MovedApp> app = MovedApp::fromJson(value.toObject());
        if (!app)
            return std::nullopt;
        moved << *app;
    }
    return moved;
}

} // namespace

QList<MovedApp> MovedAppsLedger::load() {
    return readLedger().value_or(QList<MovedApp>{});
}

std::optional<QString> MovedAppsLedger::save(const QList<MovedApp> &moved) {
    const QString file = paths::movedAppsFile();
    QDir().mkpath(QFileInfo(file).path());
    if (!readLedger()) {
        const QString aside = file + QStringLiteral(".unreadable-") +
                              QString::number(QDateTime::currentSecsSinceEpoch());
        if (!QFile::rename(file, aside))
            return QStringLiteral("The unreadable %1 could not be kept aside.").arg(file);
    }
    QJsonArray array;
    for (const MovedApp &app : moved)
        array.append(app.toJson());
    return writeFileAtomically(file, canonicalJsonArray(array));
}

} // namespace quindle
