#include "core/NotificationPayload.h"

#include "core/JsonFields.h"

#include <QJsonDocument>

namespace quindle {

std::optional<NotificationPayload> NotificationPayload::decode(const QByteArray &line) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return std::nullopt;
    JsonFields fields(document.object());
    NotificationPayload payload{fields.requiredString(QStringLiteral("title")),
                                fields.requiredString(QStringLiteral("body")),
                                fields.optionalString(QStringLiteral("sound")).value_or(QString())};
    if (!fields.ok())
        return std::nullopt;
    return payload;
}

} // namespace quindle
