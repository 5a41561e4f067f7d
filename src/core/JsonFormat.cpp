#include "core/JsonFormat.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace quindle {

QByteArray canonicalJson(const QJsonObject &object) {
    // QJsonObject keeps its keys sorted, so the indented form is already canonical.
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QByteArray canonicalJsonArray(const QJsonArray &array) {
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QString isoDate(const QDateTime &dateTime) {
    return dateTime.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('Z');
}

std::optional<QDateTime> parseIsoDate(const QString &text) {
    static const QRegularExpression shape(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?(Z|[+-]\d{2}:\d{2})$)"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed.toUTC();
}

QDateTime nowUtc() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::UTC);
}

} // namespace quindle
