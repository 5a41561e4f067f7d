// The manifest as data: the text its signature covers, decoding, version order, addresses.
#include "support/QtPrinters.h"
#include "support/SignedManifest.h"

#include "updates/AddressPolicy.h"
#include "updates/ManifestSignature.h"
#include "updates/ManifestV2.h"
#include "updates/VersionCompare.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quindle;

namespace {

QJsonObject parsed(const QByteArray &body) {
    return QJsonDocument::fromJson(body).object();
}

} // namespace

TEST(ManifestSignature, CoversTheCanonicalTextThatOpensslSigned) {
    const test::SignedManifest manifest = test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY);
    EXPECT_EQ(canonicalManifestText(parsed(manifest.good)), manifest.canonical);
    EXPECT_EQ(canonicalManifestText(parsed(manifest.unsigned_)), manifest.canonical);
    EXPECT_EQ(manifestSignature(parsed(manifest.good), QUINDLE_TEST_SIGNING_KEY),
              QString::fromLatin1(manifest.signature));

    QByteArray upperCase = manifest.good;
    upperCase.replace(manifest.signature, manifest.signature.toUpper());
    EXPECT_EQ(checkManifestSignature(parsed(upperCase), QUINDLE_TEST_SIGNING_KEY),
              SignatureCheck::Valid);
}

TEST(ManifestSignature, CanonicalTextEscapesOnlyWhatJsonNeedsAndDropsWholeFractions) {
    const QByteArray served =
        R"({"z": null, "n": 100.0, "x": -0.25, "list": [], "s": "\"\\\u0001\b\f\r\t\u00e9"})";
    EXPECT_EQ(canonicalManifestText(parsed(served)),
              QByteArray(R"({"list":[],"n":100,"s":"\"\\\u0001\b\f\r\t)") + "é" +
                  R"(","x":-0.25,"z":null})");
}

TEST(ManifestDecoding, NamesTheFirstMissingOrMistypedKey) {
    const QByteArray good = test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY).good;
    const auto decoded = ManifestV2::decode(good);
    ASSERT_TRUE(std::holds_alternative<ManifestV2>(decoded))
        << std::get<QString>(decoded).toStdString();
    const ManifestV2 &manifest = std::get<ManifestV2>(decoded);
    EXPECT_EQ(manifest.version, "1.10.0");
    EXPECT_EQ(manifest.build, 42);
    EXPECT_EQ(manifest.behaviour.autoCheckUpdatesIntervalHours, 24);
    EXPECT_EQ(manifest.behaviour.featureFlags.value("😀"), true);
    EXPECT_EQ(manifest.behaviour.telemetry.perfSampleMinutes, 15);
    EXPECT_EQ(manifest.support.docsUrl, QUrl("https://docs.example.org/"));

    const struct {
        QByteArray from, to;
        QString error;
    } cases[] = {
        {R"("version": "1.10.0")", R"("version": 1)", "The key “version” must be a string."},
        {R"("support": {)", R"("support_": {)", "The key “support” is missing."},
        {R"("crash": true)", R"("crash": "yes")", "The key “crash” must be true or false."},
        {R"("new_tier_view": false)", R"("new_tier_view": 0)",
         "The feature flag “new_tier_view” must be true or false."},
        {R"("build": 42.0)", R"("build": 42.5)", "The key “build” must be an integer."},
    };
    for (const auto &c : cases) {
        const auto broken = ManifestV2::decode(QByteArray(good).replace(c.from, c.to));
        ASSERT_TRUE(std::holds_alternative<QString>(broken)) << c.to.constData();
        EXPECT_EQ(std::get<QString>(broken), c.error);
    }
}

TEST(VersionComparison, ComparesNumbersPartByPart) {
    const struct {
        const char *a, *b;
        int order;
    } cases[] = {
        {"1.9", "1.10", -1},   {"1.10", "1.9", 1}, {"1.2", "1.2.0", 0},
        {"1.2.0.1", "1.2", 1}, {"2", "10", -1},    {"1.x", "1.0", 0},
        {"1.beta", "1.1", -1}, {"1..2", "1.2", 0}, {"", "0", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(compareVersions(QString::fromUtf8(c.a), QString::fromUtf8(c.b)), c.order)
            << c.a << " vs " << c.b;
}

TEST(AddressPolicy, AllowsHttpsAndPlainHttpOnlyToThisComputer) {
    for (const char *allowed :
         {"https://updates.example.org/manifest.json", "http://127.0.0.1:8080/m.json",
          "http://[::1]/m.json", "http://localhost:1/m.json", "HTTPS://Example.org/"})
        EXPECT_EQ(addressRefusal(QUrl(QString::fromUtf8(allowed))), std::nullopt) << allowed;
    for (const char *refused :
         {"file:///etc/passwd", "ftp://example.org/manifest.json",
          "http://example.org/manifest.json", "http://127.0.0.2/m.json",
          "http://localhost.example.org/", "data:text/plain,{}", "https:///x"})
        EXPECT_EQ(addressRefusal(QUrl(QString::fromUtf8(refused))),
                  "only https addresses are allowed")
            << refused;
}
