#include "core/JsonFields.h"

#include "core/JsonFormat.h"

#include <QJsonValue>

#include <cmath>

namespace quindle {

namespace {

std::optional<qint64> asInteger(const QJsonValue &value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Doubles beyond 2^53 lose whole numbers; JSON integers this large do not occur in our files.
    if (std::trunc(number) != number || std::fabs(number) > 9007199254740992.0)
        return std::nullopt;
    return static_cast<qint64>(number);
}

} // namespace

bool JsonFields::present(const QString &key) const {
    const QJsonValue value = m_object.value(key);
    return !value.isUndefined() && !value.isNull();
}

void JsonFields::fail(const QString &message) {
    if (m_error.isEmpty())
        m_error = message;
}

void JsonFields::wrongType(const QString &key, const char *expected) {
    fail(QStringLiteral("The key “%1” must be %2.").arg(key, QLatin1String(expected)));
}

QString JsonFields::requiredString(const QString &key) {
    if (!present(key)) {
        fail(QStringLiteral("The key “%1” is missing.").arg(key));
        return {};
    }
    return optionalString(key).value_or(QString());
}

qint64 JsonFields::requiredInteger(const QString &key) {
    if (!present(key)) {
        fail(QStringLiteral("The key “%1” is missing.").arg(key));
        return 0;
    }
    return optionalInteger(key).value_or(0);
}

bool JsonFields::requiredBool(const QString &key) {
    if (!present(key)) {
        fail(QStringLiteral("The key “%1” is missing.").arg(key));
        return false;
    }
    return optionalBool(key).value_or(false);
}

QDateTime JsonFields::requiredDate(const QString &key) {
    if (!present(key)) {
        fail(QStringLiteral("The key “%1” is missing.").arg(key));
        return {};
    }
    return optionalDate(key).value_or(QDateTime());
}

std::optional<QString> JsonFields::optionalString(const QString &key) {
    if (!present(key))
        return std::nullopt;
    const QJsonValue value = m_object.value(key);
    if (!value.isString()) {
        wrongType(key, "a string");
        return std::nullopt;
    }
    return value.toString();
}

std::optional<qint64> JsonFields::optionalInteger(const QString &key) {
    if (!present(key))
        return std::nullopt;
    std::optional<qint64> number = asInteger(m_object.value(key));
    if (!number)
        wrongType(key, "an integer");
    return number;
}

double JsonFields::numberOr(const QString &key, double fallback) {
    if (!present(key))
        return fallback;
    const QJsonValue value = m_object.value(key);
    if (!value.isDouble()) {
        wrongType(key, "a number");
        return fallback;
    }
    return value.toDouble();
}

std::optional<bool> JsonFields::optionalBool(const QString &key) {
    if (!present(key))
        return std::nullopt;
    const QJsonValue value = m_object.value(key);
    if (!value.isBool()) {
        wrongType(key, "true or false");
        return std::nullopt;
    }
    return value.toBool();
}

std::optional<QDateTime> JsonFields::optionalDate(const QString &key) {
    const std::optional<QString> text = optionalString(key);
    if (!text)
        return std::nullopt;
    std::optional<QDateTime> date = parseIsoDate(*text);
    if (!date)
        wrongType(key, "an ISO 8601 date");
    return date;
}

} // namespace quindle
