#include "mover/ManifestStore.h"
#include "core/JsonFormat.h"
#include "support/TempHome.h"

#include <QDir>
#include <QJsonDocument>

using namespace quindle;

namespace {

MoveManifest sampleManifest(const QDateTime &startedAt) {
    MoveManifest manifest;
    manifest.id = QUuid::createUuid();
    manifest.src = "/home/u/Projects";
    manifest.dstParent = "/media/u/NVMe/Work";
    manifest.finalDst = "/media/u/NVMe/Work/Projects";
    manifest.startedAt = startedAt;
    manifest.updatedAt = startedAt;
    return manifest;
}

QByteArray minimalJson(const char *id, const char *phase) {
    return QStringLiteral(R"({"id": "%1", "src": "/a/b", "dstParent": "/n", "finalDst": "/n/b",
        "startedAt": "2026-01-02T03:04:05Z", "updatedAt": "2026-01-02T03:04:06Z", "phase": "%2"})")
        .arg(QLatin1String(id), QLatin1String(phase))
        .toUtf8();
}

} // namespace

class ManifestStoreTest : public test::TempHomeTest {
protected:
    QString manifestPath(const char *name) {
        return ManifestStore::directory() + '/' + QLatin1String(name);
    }
};

TEST_F(ManifestStoreTest, AbsentOptionalKeysTakeTheirDefaults) {
    test::writeText(manifestPath("A.json"),
                    minimalJson("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0", "copying"));
    const QList<MoveManifest> loaded = ManifestStore::loadAll();
    ASSERT_EQ(loaded.size(), 1);
    const MoveManifest &m = loaded.first();
    EXPECT_EQ(uuidText(m.id), "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
    EXPECT_EQ(m.version, 1);
    EXPECT_EQ(m.srcSizeKB, 0);
    EXPECT_EQ(m.fractionAtLastWrite, 0.0);
    EXPECT_EQ(m.conflictPolicy, MoveConflictPolicy::Merge);
    EXPECT_FALSE(m.replaceSourceWithSymlink);
    EXPECT_EQ(m.phase, MovePhase::Copying);
    EXPECT_EQ(m.driveUUID, std::nullopt);
    EXPECT_EQ(MoveJob{m}.statusLabel(), "Copying");
}

TEST_F(ManifestStoreTest, SkipsEverythingThatIsNotAReadableManifest) {
    const char *id = "11111111-2222-3333-4444-555555555555";
    test::writeText(manifestPath("good.json"), minimalJson(id, "done"));
    test::writeText(manifestPath("phase.json"), minimalJson(id, "teleporting"));
    QByteArray badPolicy = minimalJson(id, "done");
    badPolicy.replace("\"phase\"", "\"conflictPolicy\": \"replace\", \"phase\"");
    test::writeText(manifestPath("policy.json"), badPolicy);
    test::writeText(manifestPath("broken.json"), "{\"id\": ");
    test::writeText(manifestPath("array.json"), "[]");
    test::writeText(manifestPath("notes.txt"), minimalJson(id, "done"));
    test::writeText(manifestPath("upper.JSON"), minimalJson(id, "done"));
    QByteArray noSrc = minimalJson(id, "done");
    noSrc.replace("\"src\"", "\"source\"");
    test::writeText(manifestPath("nosrc.json"), noSrc);
    test::writeText(manifestPath("badid.json"), minimalJson("not-a-uuid", "done"));
    QByteArray badDate = minimalJson(id, "done");
    badDate.replace("2026-01-02T03:04:05Z", "last tuesday");
    test::writeText(manifestPath("baddate.json"), badDate);

    const QList<MoveManifest> loaded = ManifestStore::loadAll();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded.first().phase, MovePhase::Done);
    EXPECT_EQ(MoveManifest::fromJson(QJsonDocument::fromJson(minimalJson(id, "warping")).object()),
              std::nullopt);
}

TEST_F(ManifestStoreTest, LoadsNewestFirst) {
    const QDateTime base = QDateTime::fromString("2026-05-01T00:00:00Z", Qt::ISODate);
    for (int days : {2, 0, 5, 1})
        ManifestStore::write(sampleManifest(base.addDays(days)));
    const QList<MoveManifest> loaded = ManifestStore::loadAll();
    ASSERT_EQ(loaded.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(loaded[i].startedAt, base.addDays(QList<int>{5, 2, 1, 0}[i]));
}

TEST_F(ManifestStoreTest, WritesOneFileWithRequiredKeysAndNoNulls) {
    MoveManifest manifest = sampleManifest(nowUtc().addSecs(-60));
    const MoveManifest first = ManifestStore::write(manifest);
    manifest.phase = MovePhase::Hashing;
    manifest.fractionAtLastWrite = 0.35;
    const MoveManifest second = ManifestStore::write(manifest);

    EXPECT_EQ(QDir(ManifestStore::directory()).entryList(QDir::Files),
              QStringList{uuidText(manifest.id) + ".json"});
    EXPECT_GE(second.updatedAt, first.updatedAt);
    EXPECT_GT(second.updatedAt, manifest.startedAt);

    const QJsonObject json =
        QJsonDocument::fromJson(test::readText(ManifestStore::fileFor(manifest.id))).object();
    EXPECT_EQ(QStringList(json.keys()),
              QStringList({"conflictPolicy", "dstParent", "finalDst", "fractionAtLastWrite", "id",
                           "phase", "replaceSourceWithSymlink", "src", "srcSizeKB", "startedAt",
                           "updatedAt", "version"}));
    EXPECT_EQ(json.value("phase").toString(), "hashing");
    EXPECT_EQ(json.value("updatedAt").toString(), isoDate(second.updatedAt));
    EXPECT_EQ(ManifestStore::loadAll().first(), second);
}

TEST_F(ManifestStoreTest, EveryFieldSurvivesARoundTrip) {
    MoveManifest full = sampleManifest(nowUtc());
    full.version = 2;
    full.driveUUID = "4F3C-11AA";
    full.srcSizeKB = 123456789012;
    full.completedAt = nowUtc();
    full.phase = MovePhase::WaitingForDrive;
    full.lastError = "Gone “away”.";
    full.fractionAtLastWrite = 0.45;
    full.srcContentHash = QString(64, u'a');
    full.dstContentHash = QString(64, u'b');
    full.statusMessage = "Hashing source — 40%";
    full.conflictPolicy = MoveConflictPolicy::Override;
    full.replaceSourceWithSymlink = true;
    const MoveManifest written = ManifestStore::write(full);
    EXPECT_EQ(ManifestStore::loadAll(), QList<MoveManifest>{written});
    EXPECT_EQ(MoveJob{written}.statusLabel(), "Hashing source — 40%");

    ManifestStore::remove(full.id);
    ManifestStore::remove(full.id); // a missing file is fine
    EXPECT_TRUE(ManifestStore::loadAll().isEmpty());
}

TEST(MovePhaseText, RawValuesAndLabelsAreTheFileFormat) {
    const QStringList raw{"writing", "copying",   "hashing", "verifying",      "cleaningUp",
                          "done",    "cancelled", "failed",  "waitingForDrive"};
    const QStringList labels{"Queued",           "Copying",         "Hashing for integrity check",
                             "Comparing hashes", "Removing source", "Completed",
                             "Cancelled",        "Failed",          "Waiting for drive"};
    for (int i = 0; i < raw.size(); ++i) {
        const std::optional<MovePhase> phase = movePhaseFromRaw(raw[i]);
        ASSERT_TRUE(phase.has_value()) << raw[i].toStdString();
        EXPECT_EQ(rawValue(*phase), raw[i]);
        EXPECT_EQ(label(*phase), labels[i]);
        EXPECT_EQ(isTerminal(*phase), i >= 5 && i <= 7);
    }
    EXPECT_EQ(movePhaseFromRaw("Copying"), std::nullopt);
}
