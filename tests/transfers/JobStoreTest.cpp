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

QJsonObject recordFor(const SyncJob &job) {
    return job.toJson();
}

QByteArray arrayOf(const QList<QJsonObject> &records) {
    QJsonArray array;
    for (const QJsonObject &record : records)
        array << record;
    return QJsonDocument(array).toJson();
}

QStringList keptFiles() {
    return QDir(QFileInfo(JobStore::jobsFile()).absolutePath())
        .entryList({QStringLiteral("jobs.json.corrupt-*")}, QDir::Files);
}

} // namespace

class TransferJobStore : public test::TempHomeTest {};

TEST_F(TransferJobStore, AJobSurvivesASaveAndALoadWhole) {
    SyncJob job(JobMode::Bisync, QStringLiteral("/home/me/Photos"),
                QStringLiteral("gdrive:Photos"));
    job.bandwidthLimit = QStringLiteral("10M");
    job.transfers = 3;
    job.dryRun = true;
    job.bisyncResync = true;
    job.state = JobState::WaitingForDrive;
    job.progress = {10, 20, 1, 2, 1.5, 7, QStringLiteral("a.jpg"), 1};
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
    QJsonObject record =
        recordFor(SyncJob(JobMode::Copy, QStringLiteral("/a"), QStringLiteral("r:b")));
    record.remove(QStringLiteral("schedule"));
    record.remove(QStringLiteral("bisyncResync"));
    record.insert(QStringLiteral("isScheduledInstance"), QStringLiteral("yes"));
    QJsonObject brokenSchedule = record;
    brokenSchedule.insert(QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces));
    brokenSchedule.insert(QStringLiteral("schedule"),
                          QJsonObject{{QStringLiteral("kind"), QStringLiteral("daily")}});
    QJsonObject emptyLimit = brokenSchedule;
    emptyLimit.insert(QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces));
    emptyLimit.insert(QStringLiteral("bandwidthLimit"), QString());
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
    EXPECT_FALSE(
        RcloneClient::arguments(loaded.jobs.at(2), context).contains(QStringLiteral("--bwlimit")));
}

TEST_F(TransferJobStore, OneBadRecordAmongThreeIsSkippedAndTheFileKeptByteForByte) {
    const SyncJob first(JobMode::Copy, QStringLiteral("/a"), QStringLiteral("/b"));
    const SyncJob third(JobMode::Move, QStringLiteral("/c"), QStringLiteral("/d"));
    QJsonObject bad = recordFor(SyncJob(JobMode::Copy, QStringLiteral("/e"), QStringLiteral("/f")));
    bad.remove(QStringLiteral("transfers"));
    const QByteArray original = arrayOf({recordFor(first), bad, recordFor(third)});
    test::writeText(JobStore::jobsFile(), original);

    SyncManager manager(nullptr);
    ASSERT_EQ(manager.jobs().size(), 2);
    EXPECT_EQ(manager.jobs().at(0).id, first.id);
    EXPECT_EQ(manager.jobs().at(1).id, third.id);
    const QStringList kept = keptFiles();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^jobs\.json\.corrupt-\d{8}T\d{6}Z$)"))
                    .match(kept.first())
                    .hasMatch());
    EXPECT_EQ(test::readText(QFileInfo(JobStore::jobsFile()).absolutePath() + QLatin1Char('/') +
                             kept.first()),
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
    EXPECT_TRUE(isRemotePath(QStringLiteral("gdrive:Photos/2024")));
    EXPECT_TRUE(isRemotePath(QStringLiteral("mem:")));
    EXPECT_FALSE(isRemotePath(QStringLiteral("/home/me/a:b")));
    EXPECT_FALSE(isRemotePath(QStringLiteral(":local:x")));
    EXPECT_FALSE(isRemotePath(QStringLiteral("Photos")));
    EXPECT_EQ(remoteName(QStringLiteral("gdrive:Photos/2024")), QStringLiteral("gdrive"));

    const auto known = [](const QString &name) { return name == QLatin1String("gdrive"); };
    EXPECT_EQ(endpointProblem(QStringLiteral("/home/me/Photos"), known), std::nullopt);
    EXPECT_EQ(endpointProblem(QStringLiteral("gdrive:x"), known), std::nullopt);
    EXPECT_EQ(endpointProblem(QStringLiteral("Photos/2024"), known),
              QStringLiteral("Use a full path such as /home/you/Photos, or a remote such as "
                             "name:folder."));
    EXPECT_EQ(endpointProblem(QStringLiteral("~/Photos"), known),
              endpointProblem(QStringLiteral("Photos"), known));
    EXPECT_EQ(endpointProblem(QStringLiteral("dropbox:x"), known),
              QStringLiteral("No rclone remote is named “dropbox”."));
}

TEST(TransferEndpoints, AnAccountTypeIsTheDestinationsElseTheSourcesAndNeverAGuess) {
    const QHash<QString, QString> types{{"photos", "googlephotos"}, {"box one", "sftp"}};
    EXPECT_EQ(transferAccountType("/home/me/a", "/media/b", types), "local");
    EXPECT_EQ(transferAccountType("/home/me/a", "photos:2024", types), "googlephotos");
    EXPECT_EQ(transferAccountType("box one:x", "/home/me/b", types), "sftp");
    EXPECT_EQ(transferAccountType("box one:x", "photos:", types), "googlephotos");
    EXPECT_EQ(transferAccountType("/home/me/a", "gone:x", types), "");
}
