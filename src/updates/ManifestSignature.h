#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace quindle {

// The exact bytes a manifest's signature covers: the document without its top-level
// "signature", keys sorted by code point at every depth, arrays in their order, no white space,
// "/" written as "\/", control characters escaped, everything else raw UTF-8, integral numbers
// without a fraction. The signing side produces the same text, so none of this may change.
QByteArray canonicalManifestText(const QJsonObject &document);

// HMAC-SHA-256 of the canonical text under `key`, as 64 lower-case hex digits.
QString manifestSignature(const QJsonObject &document, const QByteArray &key);

enum class SignatureCheck { Valid, Missing, Mismatch };

// Compares the document's "signature" with the one computed under `key`, ignoring case.
SignatureCheck checkManifestSignature(const QJsonObject &document, const QByteArray &key);

} // namespace quindle
