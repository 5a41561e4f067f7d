#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace quindle {

// The one JSON form the application writes: indented, keys in sorted order.
QByteArray canonicalJson(const QJsonObject &object);
QByteArray canonicalJsonArray(const QJsonArray &array);

// yyyy-MM-ddTHH:mm:ssZ in UTC.
QString isoDate(const QDateTime &dateTime);

// Accepts ISO 8601 internet date-times with or without fractional seconds and with Z or an
// offset; nothing for anything else.
std::optional<QDateTime> parseIsoDate(const QString &text);

// The current time truncated to whole seconds, so a date survives a write and a read unchanged.
QDateTime nowUtc();

} // namespace quindle
