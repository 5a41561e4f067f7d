#include "core/LegalAcceptanceRecord.h"

#include "core/JsonFields.h"
#include "core/JsonFormat.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quindle {

namespace {

std::optional<LegalDocumentSnapshot> decodeSnapshot(const QJsonValue &value) {
    if (!value.isObject())
        return std::nullopt;
    JsonFields fields(value.toObject());
    LegalDocumentSnapshot snapshot{fields.requiredString(QStringLiteral("version")),
                                   fields.requiredString(QStringLiteral("sha256"))};
    return fields.ok() ? std::optional(snapshot) : std::nullopt;
}

} // namespace

QByteArray LegalAcceptanceRecord::encode() const {
    QJsonObject snapshots;
    for (auto it = documents.cbegin(); it != documents.cend(); ++it)
        snapshots.insert(it.key(), QJsonObject{{QStringLiteral("version"), it->version},
                                               {QStringLiteral("sha256"), it->sha256}});
    QJsonObject object{
        {QStringLiteral("version"), version},
        {QStringLiteral("acceptedAt"), isoDate(acceptedAt)},
        {QStringLiteral("acceptedByUsername"), acceptedByUsername},
        {QStringLiteral("documents"), snapshots},
        {QStringLiteral("language"), language},
    };
    if (deviceUUID)
        object.insert(QStringLiteral("deviceUUID"), *deviceUUID);
    if (withdrawnAt)
        object.insert(QStringLiteral("withdrawnAt"), isoDate(*withdrawnAt));
    return canonicalJson(object);
}

std::optional<LegalAcceptanceRecord> LegalAcceptanceRecord::decode(const QByteArray &json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    JsonFields fields(object);
    LegalAcceptanceRecord record;
    record.version = fields.requiredInteger(QStringLiteral("version"));
    record.acceptedAt = fields.requiredDate(QStringLiteral("acceptedAt"));
    record.acceptedByUsername = fields.requiredString(QStringLiteral("acceptedByUsername"));
    record.deviceUUID = fields.optionalString(QStringLiteral("deviceUUID"));
    record.language = fields.requiredString(QStringLiteral("language"));
    record.withdrawnAt = fields.optionalDate(QStringLiteral("withdrawnAt"));
    const QJsonValue snapshots = object.value(QStringLiteral("documents"));
    if (!fields.ok() || !snapshots.isObject())
        return std::nullopt;
    const QJsonObject entries = snapshots.toObject();
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        const std::optional<LegalDocumentSnapshot> snapshot = decodeSnapshot(it.value());
        if (!snapshot)
            return std::nullopt;
        record.documents.insert(it.key(), *snapshot);
    }
    return record;
}

} // namespace quindle
