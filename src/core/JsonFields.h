#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

namespace quindle {

// Reads typed fields from a decoded JSON object and remembers the first problem, so a decoder
// reads every field in one pass and then asks ok(). Absent and null optional keys read as nothing
// (or the given default); a present key of the wrong type is always an error.
class JsonFields {
public:
    explicit JsonFields(const QJsonObject &object)
        : m_object(object) {}

    QString requiredString(const QString &key);
    qint64 requiredInteger(const QString &key);
    bool requiredBool(const QString &key);
    QDateTime requiredDate(const QString &key);

    std::optional<QString> optionalString(const QString &key);
    std::optional<qint64> optionalInteger(const QString &key);
    std::optional<bool> optionalBool(const QString &key);
    std::optional<QDateTime> optionalDate(const QString &key);

    qint64 integerOr(const QString &key, qint64 fallback) {
        return optionalInteger(key).value_or(fallback);
    }
    double numberOr(const QString &key, double fallback);
    bool boolOr(const QString &key, bool fallback) { return optionalBool(key).value_or(fallback); }

    // An enumeration stored by its raw string; a string the parser does not know is an error.
    template <typename Enum>
    std::optional<Enum>
    requiredEnum(const QString &key,
                 const std::function<std::optional<Enum>(const QString &)> &parse) {
        const QString raw = requiredString(key);
        return ok() ? parseEnum(key, raw, parse) : std::nullopt;
    }
    template <typename Enum>
    std::optional<Enum> enumOr(const QString &key, Enum fallback,
                               const std::function<std::optional<Enum>(const QString &)> &parse) {
        const std::optional<QString> raw = optionalString(key);
        if (!raw)
            return ok() ? std::optional<Enum>(fallback) : std::nullopt;
        return parseEnum(key, *raw, parse);
    }

    bool ok() const { return m_error.isEmpty(); }
    // A sentence naming the first key that was missing or wrong.
    const QString &error() const { return m_error; }

private:
    template <typename Enum>
    std::optional<Enum>
    parseEnum(const QString &key, const QString &raw,
              const std::function<std::optional<Enum>(const QString &)> &parse) {
        std::optional<Enum> value = parse(raw);
        if (!value)
            fail(QStringLiteral("The key “%1” has the unknown value “%2”.").arg(key, raw));
        return value;
    }

    bool present(const QString &key) const;
    void fail(const QString &message);
    void wrongType(const QString &key, const char *expected);

    QJsonObject m_object;
    QString m_error;
};

} // namespace quindle
