#include "support/SignedManifest.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace quindle::test {

namespace {

// Keys in code-point order at every depth: U+FB01 comes before U+1F600, which UTF-16 order
// reverses. The nested "signature" is content; only the top-level one is left out.
const char canonicalText[] =
    R"({"behaviour":{"auto_check_updates":true,"auto_check_updates_interval_hours":24,)"
    R"("feature_flags":{"new_tier_view":false,"ﬁ_ligature":true,"😀":true},)"
    R"("telemetry":{"crash":true,"events":false,"perf":false,"perf_sample_minutes":15}},)"
    R"("build":42,"download_url":"https:\/\/downloads.example.org\/Quindle-1.10.0.tar.gz",)"
    R"("mirrors":[{"region":"eu","signature":"kept, not removed"},{"region":"us"}],)"
    R"("notes":"Faster moves.\nFewer clicks for Jürgen.",)"
    R"("support":{"docs_url":"https:\/\/docs.example.org\/","email":"help@example.org"},)"
    R"("version":"1.10.0"})";

const char servedTemplate[] = R"({
    "version": "1.10.0",
@SIGNATURE@    "support": {
        "email": "help@example.org",
        "docs_url": "https://docs.example.org/"
    },
    "notes": "Faster moves.\nFewer clicks for J\u00fcrgen.",
    "mirrors": [
        { "signature": "kept, not removed", "region": "eu" },
        { "region": "us" }
    ],
    "download_url": "https:\/\/downloads.example.org\/Quindle-1.10.0.tar.gz",
    "build": 42.0,
    "behaviour": {
        "telemetry": { "perf_sample_minutes": 15, "perf": false, "events": false, "crash": true },
        "feature_flags": { "😀": true, "ﬁ_ligature": true, "new_tier_view": false },
        "auto_check_updates_interval_hours": 24,
        "auto_check_updates": true
    }
}
)";

QByteArray opensslHmac(const QByteArray &key, const QByteArray &text) {
    QProcess openssl;
    openssl.start("openssl", {"dgst", "-sha256", "-hmac", QString::fromUtf8(key)});
    openssl.write(text);
    openssl.closeWriteChannel();
    EXPECT_TRUE(openssl.waitForFinished(30000)) << "openssl did not run";
    // "HMAC-SHA2-256(stdin)= <hex>"
    return openssl.readAllStandardOutput().trimmed().split(' ').last();
}

} // namespace

SignedManifest SignedManifest::make(const QByteArray &key, const QByteArray &releasedVersion) {
    SignedManifest manifest;
    manifest.canonical = QByteArray(canonicalText).replace(version, releasedVersion);
    manifest.signature = opensslHmac(key, manifest.canonical);
    EXPECT_EQ(manifest.signature.size(), 64) << manifest.signature.constData();
    const QByteArray served = QByteArray(servedTemplate).replace(version, releasedVersion);
    manifest.good = QByteArray(served).replace("@SIGNATURE@", "    \"signature\": \"" +
                                                                  manifest.signature + "\",\n");
    manifest.tampered = QByteArray(manifest.good)
                            .replace("\"version\": \"" + releasedVersion + '"',
                                     "\"version\": \"" + releasedVersion + ".1\"");
    manifest.unsigned_ = QByteArray(served).replace("@SIGNATURE@", "");
    return manifest;
}

} // namespace quindle::test
