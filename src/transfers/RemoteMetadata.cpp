#include "transfers/RemoteMetadata.h"

#include "core/JsonFields.h"
#include "core/JsonFormat.h"
#include "core/NVMeShadow.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quindle {

namespace {

constexpr int formatVersion = 1;

std::optional<RemoteMetadata::Records> readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return RemoteMetadata::decode(file.readAll());
}

} // namespace

QString RemoteMetadata::basename() {
    return QStringLiteral("remote-metadata.json");
}

RemoteMetadata::Records RemoteMetadata::load() {
    if (std::optional<Records> internal = readFile(NVMeShadow::internalPath(basename())))
        return *internal;
    if (const std::optional<QString> shadow = NVMeShadow::shadowPath(basename()))
        return readFile(*shadow).value_or(Records{});
    return {};
}

bool RemoteMetadata::save(const Records &records) {
    return NVMeShadow::write(encode(records), basename(), ShadowPolicy::Mirror);
}

bool RemoteMetadata::record(const QString &remoteName, const QString &displayName,
                            const QStringList &acknowledgedWarnings) {
    Records records = load();
    RemoteMetadataRecord &entry = records[remoteName];
    if (entry.remoteName.isEmpty()) {
        entry.remoteName = remoteName;
        entry.createdAt = nowUtc();
    }
    entry.displayName = displayName;
    entry.acknowledgedWarnings = acknowledgedWarnings;
    return save(records);
}

bool RemoteMetadata::forget(const QString &remoteName) {
    Records records = load();
    return records.remove(remoteName) == 0 || save(records);
}

QByteArray RemoteMetadata::encode(const Records &records) {
    QJsonObject byName;
    for (const RemoteMetadataRecord &entry : records) {
        QJsonObject object{{QStringLiteral("remoteName"), entry.remoteName},
                           {QStringLiteral("displayName"), entry.displayName},
                           {QStringLiteral("createdAt"), isoDate(entry.createdAt)},
                           {QStringLiteral("acknowledgedWarnings"),
                            QJsonArray::fromStringList(entry.acknowledgedWarnings)}};
        if (entry.lastUsedAt)
            object.insert(QStringLiteral("lastUsedAt"), isoDate(*entry.lastUsedAt));
        byName.insert(entry.remoteName, object);
    }
    return canonicalJson(
        {{QStringLiteral("version"), formatVersion}, {QStringLiteral("records"), byName}});
}

std::optional<RemoteMetadata::Records> RemoteMetadata::decode(const QByteArray &bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonValue byName = document.object().value(QStringLiteral("records"));
    if (!document.isObject() || !byName.isObject())
        return std::nullopt;
    Records records;
    const QJsonObject objects = byName.toObject();
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        JsonFields fields(it.value().toObject());
        RemoteMetadataRecord entry;
        entry.remoteName = fields.optionalString(QStringLiteral("remoteName")).value_or(it.key());
        entry.displayName =
            fields.optionalString(QStringLiteral("displayName")).value_or(QString());
        entry.createdAt = fields.requiredDate(QStringLiteral("createdAt"));
        entry.lastUsedAt = fields.optionalDate(QStringLiteral("lastUsedAt"));
        for (const QJsonValue &warning :
             it.value().toObject().value(QStringLiteral("acknowledgedWarnings")).toArray())
            entry.acknowledgedWarnings.append(warning.toString());
        if (it.value().isObject() && fields.ok())
            records.insert(entry.remoteName, entry);
    }
    return records;
}

} // namespace quindle
