#include "apps/AppManifestStore.h"
#include "core/JsonFormat.h"
#include "core/StatePaths.h"
#include "support/TempHome.h"

#include <QDir>
#include <QJsonDocument>

using namespace quindle;
using namespace quindle::test;

namespace {

AppMoveManifest manifest(const QString &name, const QDateTime &started) {
    AppMoveManifest m;
    m.id = QUuid::createUuid();
    m.originalPath = QStringLiteral("/apps/") + name;
    m.nvmePath = QStringLiteral("/media/u/NVMe/Apps/") + name;
    m.displayName = name;
    m.srcSizeKB = 42;
    m.startedAt = started;
    m.updatedAt = started;
    return m;
}

QStringList filesIn(const QString &folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class AppRecords : public TempHomeTest {};

TEST_F(AppRecords, ManifestsRoundTripAndBadFilesAreSkippedButKept) {
    const QDateTime t0 = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    AppMoveManifest full = manifest("Full", t0);
    full.bundleID = "org.full";
    full.driveUUID = "UUID-A";
    full.phase = AppMovePhase::Verifying;
    full.srcContentHash = "aa";
    full.direction = AppMoveDirection::FromNVMe;
    const AppMoveManifest bare = manifest("Bare", t0.addSecs(60));
    // Two moves of one app are two jobs.
    const AppMoveManifest again = manifest("Bare", t0.addSecs(120));
    for (const AppMoveManifest &m : {full, bare, again})
        AppManifestStore::write(m);

    const QString dir = paths::appMovesDirectory();
    QJsonObject unknownPhase = bare.toJson();
    unknownPhase.insert("id", QUuid::createUuid().toString(QUuid::WithoutBraces));
    unknownPhase.insert("phase", "teleporting");
    writeText(dir + "/unknown.json", canonicalJson(unknownPhase));
    writeText(dir + "/garbage.json", "{ not json");
    writeText(dir + "/notes.txt", "kept");

    const QList<AppMoveManifest> loaded = AppManifestStore::loadAll();
    ASSERT_EQ(loaded.size(), 3);
    EXPECT_EQ(loaded.at(0).id, again.id);
    EXPECT_EQ(loaded.at(1).id, bare.id);
    EXPECT_FALSE(loaded.at(1).driveUUID);
    EXPECT_FALSE(AppManifestStore::write(bare).toJson().contains("driveUUID"));
    AppMoveManifest reread = loaded.at(2);
    EXPECT_GE(reread.updatedAt, full.updatedAt);
    reread.updatedAt = full.updatedAt;
    EXPECT_EQ(reread, full);
    EXPECT_EQ(readText(dir + "/garbage.json"), "{ not json");
    EXPECT_TRUE(filesIn(dir).contains("notes.txt"));
}

TEST_F(AppRecords, DirectionIsReadFromTheLinkWhenNotRecorded) {
    AppMoveManifest m = manifest("App", QDateTime::currentDateTimeUtc());
    m.originalPath = inHome("App");
    QDir().mkpath(m.originalPath);
    EXPECT_EQ(m.inferredDirection(), AppMoveDirection::ToNVMe);
    QDir(m.originalPath).removeRecursively();
    ASSERT_TRUE(QFile::link(inHome("drive/Apps/App"), m.originalPath));
    EXPECT_EQ(m.inferredDirection(), AppMoveDirection::FromNVMe);
    EXPECT_EQ(m.appKey(), m.originalPath);
    m.direction = AppMoveDirection::ToNVMe; // mid-swap, the record knows better than the link
    m.bundleID = "org.app";
    EXPECT_EQ(m.inferredDirection(), AppMoveDirection::ToNVMe);
    EXPECT_EQ(m.appKey(), "org.app");
}

TEST_F(AppRecords, AnUnreadableLedgerReadsEmptyAndIsKeptAsideBeforeTheNextWrite) {
    EXPECT_TRUE(MovedAppsLedger::load().isEmpty());
    const MovedApp one{
        "org.one", "/apps/One", "/nvme/Apps/One",
        "One",     2048,        QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6), Qt::UTC)};
    ASSERT_FALSE(MovedAppsLedger::save({one}));
    EXPECT_EQ(MovedAppsLedger::load(), QList<MovedApp>{one});

    writeText(paths::movedAppsFile(), "[{\"originalPath\": 7}]");
    EXPECT_TRUE(MovedAppsLedger::load().isEmpty());
    ASSERT_FALSE(MovedAppsLedger::save({one}));
    EXPECT_EQ(MovedAppsLedger::load(), QList<MovedApp>{one});
    const QStringList aside =
        filesIn(paths::stateDirectory()).filter("moved-apps.json.unreadable-");
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readText(paths::stateDirectory() + u'/' + aside.first()), "[{\"originalPath\": 7}]");
}
