#include "transfers/JobStore.h"
#include "transfers/Endpoint.h"
#include "transfers/SyncManager.h"

#include "support/TempHome.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

using namespace quindle;

namespace {

QByteArray arrayOf(const QList<QJsonObject> &records) {
    QJsonArray array;
    for (const QJsonObject &record : records)
        array << record;
    return QJsonDocument(array).toJson();
}

QStringList keptFiles() {
    return QDir(QFileInfo(JobStore::jobsFile()).absolutePath())
        .entryList({"jobs.json.corrupt-*"}, QDir::Files);
}

} // namespace

class TransferJobStore : public test::TempHomeTest {};

TEST_F(TransferJobStore, AJobSurvivesASaveAndALoadWhole) {
    SyncJob job(JobMode::Bisync, "/home/me/Photos", "gdrive:Photos");
    job.bandwidthLimit = "10M";
    job.transfers = 3;
    job.dryRun = true;
    job.bisyncResync = true;
    job.state = JobState::WaitingForDrive;
    job.progress = {10, 20, 1, 2, 1.5, 7, "a.jpg", 1};
    job.schedule = Schedule::monthly(31, 3, 0);
    job.lastScheduledRun = job.createdAt.addDays(1);
    job.missedRuns = 2;
    job.log << QStringLiteral("not kept");
    ASSERT_EQ(JobStore::save({job}), std::nullopt);

    const JobStore::Loaded loaded = JobStore::load();
    ASSERT_EQ(loaded.jobs.size(), 1);
    EXPECT_FALSE(loaded.damaged);
    const SyncJob &back = loaded.jobs.first();
    EXPECT_EQ(back.toJson(), job.toJson());
    EXPECT_TRUE(back.log.isEmpty());
}

TEST_F(TransferJobStore, MissingOrBrokenLenientKeysTakeTheirDefaults) {
    QJsonObject record = SyncJob(JobMode::Copy, "/a", "r:b").toJson();
    record.remove("schedule");
    record.remove("bisyncResync");
    record.insert("isScheduledInstance", "yes");
    QJsonObject brokenSchedule = record;
    brokenSchedule.insert("id", QUuid::createUuid().toString(QUuid::WithoutBraces));
    brokenSchedule.insert("schedule", QJsonObject{{"kind", "daily"}});
    QJsonObject emptyLimit = brokenSchedule;
    emptyLimit.insert("id", QUuid::createUuid().toString(QUuid::WithoutBraces));
    emptyLimit.insert("bandwidthLimit", QString());
    test::writeText(JobStore::jobsFile(), arrayOf({record, brokenSchedule, emptyLimit}));

    const JobStore::Loaded loaded = JobStore::load();
    EXPECT_FALSE(loaded.damaged);
    ASSERT_EQ(loaded.jobs.size(), 3);
    for (const SyncJob &job : loaded.jobs) {
        EXPECT_TRUE(job.schedule.isNone());
        EXPECT_FALSE(job.bisyncResync);
        EXPECT_FALSE(job.isScheduledInstance);
    }
    RcloneRunContext context;
    EXPECT_FALSE(RcloneClient::arguments(loaded.jobs.at(2), context).contains("--bwlimit"));
}

TEST_F(TransferJobStore, OneBadRecordAmongThreeIsSkippedAndTheFileKeptByteForByte) {
    const SyncJob first(JobMode::Copy, "/a", "/b");
    const SyncJob third(JobMode::Move, "/c", "/d");
    QJsonObject bad = SyncJob(JobMode::Copy, "/e", "/f").toJson();
    bad.remove("transfers");
    const QByteArray original = arrayOf({first.toJson(), bad, third.toJson()});
    test::writeText(JobStore::jobsFile(), original);

    SyncManager manager(nullptr);
    ASSERT_EQ(manager.jobs().size(), 2);
    EXPECT_EQ(manager.jobs().at(0).id, first.id);
    EXPECT_EQ(manager.jobs().at(1).id, third.id);
    const QStringList kept = keptFiles();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(
        QRegularExpression(R"(^jobs\.json\.corrupt-\d{8}T\d{6}Z$)").match(kept.first()).hasMatch());
    EXPECT_EQ(test::readText(QFileInfo(JobStore::jobsFile()).absolutePath() + u'/' + kept.first()),
              original);
    EXPECT_EQ(manager.notice(),
              QStringLiteral("Some saved transfers could not be read. The original file was "
                             "kept as %1.")
                  .arg(kept.first()));
    // What was read is what is saved from now on.
    EXPECT_EQ(JobStore::load().jobs.size(), 2);
    EXPECT_FALSE(JobStore::load().damaged);
}

TEST_F(TransferJobStore, AFileThatIsNotAListIsKeptAndTheListStartsEmpty) {
    test::writeText(JobStore::jobsFile(), "[{\"id\": ");
    SyncManager manager(nullptr);
    EXPECT_TRUE(manager.jobs().isEmpty());
    ASSERT_EQ(keptFiles().size(), 1);
    EXPECT_FALSE(manager.notice().isEmpty());

    SyncManager again(nullptr); // a good file is never kept
    EXPECT_EQ(keptFiles().size(), 1);
    EXPECT_TRUE(again.notice().isEmpty());
}

TEST(TransferEndpoints, TellRemotesFromLocalPathsAndRefuseWhatRcloneWouldMisread) {
    EXPECT_TRUE(isRemotePath("gdrive:Photos/2024"));
    EXPECT_TRUE(isRemotePath("mem:"));
    EXPECT_FALSE(isRemotePath("/home/me/a:b"));
    EXPECT_FALSE(isRemotePath(":local:x"));
    EXPECT_FALSE(isRemotePath("Photos"));
    EXPECT_EQ(remoteName("gdrive:Photos/2024"), "gdrive");

    const auto known = [](const QString &name) { return name == "gdrive"; };
    EXPECT_EQ(endpointProblem("/home/me/Photos", known), std::nullopt);
    EXPECT_EQ(endpointProblem("gdrive:x", known), std::nullopt);
    EXPECT_EQ(endpointProblem("Photos/2024", known),
              "Use a full path such as /home/you/Photos, or a remote such as "
              "name:folder.");
    EXPECT_EQ(endpointProblem("~/Photos", known), endpointProblem("Photos", known));
    EXPECT_EQ(endpointProblem("dropbox:x", known), "No rclone remote is named “dropbox”.");
}

TEST(TransferEndpoints, AnAccountTypeIsTheDestinationsElseTheSourcesAndNeverAGuess) {
    const QHash<QString, QString> types{{"photos", "googlephotos"}, {"box one", "sftp"}};
    EXPECT_EQ(transferAccountType("/home/me/a", "/media/b", types), "local");
    EXPECT_EQ(transferAccountType("/home/me/a", "photos:2024", types), "googlephotos");
    EXPECT_EQ(transferAccountType("box one:x", "/home/me/b", types), "sftp");
    EXPECT_EQ(transferAccountType("box one:x", "photos:", types), "googlephotos");
    EXPECT_EQ(transferAccountType("/home/me/a", "gone:x", types), "");
}
