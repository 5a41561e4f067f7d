#include "updates/ManifestSignature.h"

#include <QJsonArray>
#include <QJsonValue>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cmath>

namespace quindle {

namespace {

const QString signatureKey = QStringLiteral("signature");

void writeString(QByteArray &out, const QString &text) {
    out += '"';
    for (const char byte : text.toUtf8()) {
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(byte) < 0x20)
                out +=
                    "\\u00" + QByteArray::number(static_cast<int>(byte), 16).rightJustified(2, '0');
            else
                out += byte;
        }
    }
    out += '"';
}

void writeNumber(QByteArray &out, double number) {
    // Whole numbers as integers, as long as a double holds them exactly.
    if (std::trunc(number) == number && std::fabs(number) <= 9007199254740992.0)
        out += QByteArray::number(static_cast<qint64>(number));
    else
        out += QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
}

void writeValue(QByteArray &out, const QJsonValue &value);

void writeObject(QByteArray &out, const QJsonObject &object) {
    // UTF-8 bytes sort in code-point order; QJsonObject's own UTF-16 order does not above U+FFFF.
    QList<std::pair<QByteArray, QString>> keys;
    for (auto it = object.begin(); it != object.end(); ++it)
        keys.append({it.key().toUtf8(), it.key()});
    std::sort(keys.begin(), keys.end());
    out += '{';
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (i > 0)
            out += ',';
        writeString(out, keys.at(i).second);
        out += ':';
        writeValue(out, object.value(keys.at(i).second));
    }
    out += '}';
}

void writeValue(QByteArray &out, const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::Bool:
        out += value.toBool() ? "true" : "false";
        break;
    case QJsonValue::Double:
        writeNumber(out, value.toDouble());
        break;
    case QJsonValue::String:
        writeString(out, value.toString());
        break;
    case QJsonValue::Array: {
        out += '[';
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (i > 0)
                out += ',';
            writeValue(out, array.at(i));
        }
        out += ']';
        break;
    }
    case QJsonValue::Object:
        writeObject(out, value.toObject());
        break;
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        out += "null";
        break;
    }
}

} // namespace

QByteArray canonicalManifestText(const QJsonObject &document) {
    QJsonObject unsigned_ = document;
    unsigned_.remove(signatureKey);
    QByteArray out;
    writeObject(out, unsigned_);
    return out;
}

QString manifestSignature(const QJsonObject &document, const QByteArray &key) {
    const QByteArray text = canonicalManifestText(document);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), key.constData(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char *>(text.constData()),
              static_cast<size_t>(text.size()), digest, &length))
        return {};
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), length).toHex());
}

SignatureCheck checkManifestSignature(const QJsonObject &document, const QByteArray &key) {
    const QJsonValue given = document.value(signatureKey);
    if (!given.isString())
        return SignatureCheck::Missing;
    const QString expected = manifestSignature(document, key);
    return !expected.isEmpty() && given.toString().compare(expected, Qt::CaseInsensitive) == 0
               ? SignatureCheck::Valid
               : SignatureCheck::Mismatch;
}

} // namespace quindle
