#include "transfers/Remote.h"

#include "core/JsonFields.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace quindle {

namespace {

// Decodes every element; one that does not decode fails the whole list, since a partial list of
// accounts would look like accounts were removed.
template <typename T>
std::optional<QList<T>> decodeArray(const QByteArray &json,
                                    const std::function<std::optional<T>(JsonFields &)> &decode) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isArray())
        return std::nullopt;
    QList<T> items;
    for (const QJsonValue &value : document.array()) {
        if (!value.isObject())
            return std::nullopt;
        JsonFields fields(value.toObject());
        std::optional<T> item = decode(fields);
        if (!item || !fields.ok())
            return std::nullopt;
        items.append(*item);
    }
    return items;
}

} // namespace

QString remoteTypeDisplayName(const QString &type) {
    static const QHash<QString, QString> names{
        {QStringLiteral("drive"), QStringLiteral("Google Drive")},
        {QStringLiteral("googlephotos"), QStringLiteral("Google Photos")},
        {QStringLiteral("local"), QStringLiteral("Local")},
        {QStringLiteral("s3"), QStringLiteral("Amazon S3")},
        {QStringLiteral("b2"), QStringLiteral("Backblaze B2")},
        {QStringLiteral("dropbox"), QStringLiteral("Dropbox")},
        {QStringLiteral("onedrive"), QStringLiteral("OneDrive")},
        {QStringLiteral("box"), QStringLiteral("Box")}};
    if (const auto found = names.constFind(type); found != names.cend())
        return *found;
    return type.isEmpty() ? type : type.left(1).toUpper() + type.mid(1);
}

std::optional<QList<Remote>> decodeRemotes(const QByteArray &json) {
    return decodeArray<Remote>(json, [](JsonFields &fields) -> std::optional<Remote> {
        Remote remote{fields.requiredString(QStringLiteral("name")),
                      fields.requiredString(QStringLiteral("type"))};
        return remote.name.isEmpty() ? std::nullopt : std::optional(remote);
    });
}

std::optional<QList<RemoteType>> decodeRemoteTypes(const QByteArray &json) {
    return decodeArray<RemoteType>(json, [](JsonFields &fields) -> std::optional<RemoteType> {
        return RemoteType{fields.requiredString(QStringLiteral("id")),
                          fields.requiredString(QStringLiteral("name")),
                          fields.optionalString(QStringLiteral("icon")).value_or(QString()),
                          fields.requiredBool(QStringLiteral("oauth"))};
    });
}

std::optional<RemoteTestResult> decodeRemoteTest(const QByteArray &json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    JsonFields fields(document.object());
    RemoteTestResult result{fields.requiredBool(QStringLiteral("ok")),
                            fields.requiredString(QStringLiteral("message"))};
    return fields.ok() ? std::optional(result) : std::nullopt;
}

} // namespace quindle
