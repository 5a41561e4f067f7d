#pragma once

#include <QByteArray>

namespace quindle::test {

// An update manifest signed the way the web service signs one: `openssl dgst -sha256 -hmac`
// over a canonical text written here by hand, so the test does not trust the code it checks.
// The served bodies are reordered and indented, with escapes the canonical text writes raw.
struct SignedManifest {
    QByteArray canonical; // what the signature covers
    QByteArray signature; // lower-case hex
    QByteArray good;      // served: signed, valid
    QByteArray tampered;  // served: the version changed after signing
    QByteArray unsigned_; // served: no signature at all

    static constexpr const char *version = "1.10.0";

    // Signs with `key`, naming `releasedVersion`; fails the current test when openssl cannot
    // run.
    static SignedManifest make(const QByteArray &key, const QByteArray &releasedVersion = version);
};

} // namespace quindle::test
