#include "TransferFixture.h"

#include "support/CommandRun.h"
#include "transfers/RcloneClient.h"
#include "transfers/RemoteManager.h"

#include <QFile>

using namespace quindle;

namespace {

SyncJob makeJob(JobMode mode, const char *source, const char *destination) {
    return SyncJob(mode, QString::fromUtf8(source), QString::fromUtf8(destination));
}

RcloneRunContext contextFor(const char *version, QHash<QString, QString> remotes = {}) {
    RcloneRunContext context;
    context.features = *RcloneFeatures::fromVersion(QString::fromLatin1(version));
    context.remoteTypes = std::move(remotes);
    context.startedAt = QDateTime(QDate(2026, 5, 10), QTime(14, 3, 9));
    return context;
}

QString joined(const SyncJob &job, const RcloneRunContext &context) {
    return RcloneClient::arguments(job, context).join(u' ');
}

} // namespace

TEST(RcloneArguments, FollowTheJobTheRemoteAndTheInstalledVersion) {
    SyncJob upload = makeJob(JobMode::Copy, "/home/me/Pictures", "gdrive:Backup");
    upload.bandwidthLimit = " 10M ";
    const QHash<QString, QString> remotes{{"gdrive", "drive"}, {"bucket", "s3"}};
    EXPECT_EQ(joined(upload, contextFor("1.63.0", remotes)),
              "copy /home/me/Pictures gdrive:Backup --transfers 8 --checkers 16 --bwlimit 10M "
              "--use-server-modtime --metadata --update --use-json-log --stats 1s "
              "--stats-one-line --log-level INFO --retries 10 --low-level-retries 20 "
              "--retries-sleep 5s --partial-suffix .partial --checksum");
    // 1.60 refuses --partial-suffix; 1.58 has no --metadata either.
    EXPECT_FALSE(joined(upload, contextFor("1.60.1-DEV", remotes)).contains("--partial-suffix"));
    EXPECT_TRUE(joined(upload, contextFor("1.60.1-DEV", remotes)).contains("--metadata"));
    EXPECT_FALSE(joined(upload, contextFor("v1.58.0", remotes)).contains("--metadata"));

    const SyncJob local = makeJob(JobMode::Copy, "/a", "/b");
    EXPECT_EQ(joined(local, contextFor("1.60.1")),
              "copy /a /b --transfers 8 --checkers 16 --fast-list --use-server-modtime --metadata "
              "--update --use-json-log --stats 1s --stats-one-line --log-level INFO");

    SyncJob sync = makeJob(JobMode::SyncOneWay, "/a", "bucket:b");
    sync.bandwidthLimit = "   ";
    sync.dryRun = true;
    const QString syncArgs = joined(sync, contextFor("1.63.0", remotes));
    EXPECT_TRUE(syncArgs.startsWith("sync /a bucket:b"));
    EXPECT_TRUE(syncArgs.contains("--fast-list"));
    EXPECT_TRUE(syncArgs.endsWith("--dry-run --retries 10 --low-level-retries 20 --retries-sleep "
                                  "5s --partial-suffix .partial --checksum"));
    EXPECT_FALSE(syncArgs.contains("--bwlimit"));
    EXPECT_FALSE(syncArgs.contains("--update"));

    // A name not in the list: retries, but no checksum.
    EXPECT_FALSE(joined(makeJob(JobMode::Copy, "/a", "nowhere:b"), contextFor("1.63.0", remotes))
                     .contains("--checksum"));
    EXPECT_TRUE(joined(makeJob(JobMode::Copy, "/a", "nowhere:b"), contextFor("1.63.0", remotes))
                    .contains("--retries 10"));
    // Drive words are looked for even in a local path's colon.
    EXPECT_FALSE(joined(makeJob(JobMode::Copy, "myphotos:x", "/b"), contextFor("1.63.0"))
                     .contains("--fast-list"));

    SyncJob bisync = makeJob(JobMode::Bisync, "/a", "/b");
    bisync.bisyncResync = true;
    EXPECT_TRUE(joined(bisync, contextFor("1.60.1")).startsWith("bisync --resync /a /b "));
}

TEST(RcloneArguments, NeverTrustTimesWhereACutShortFileCouldLieOrAMoveCouldDelete) {
    const SyncJob copy = makeJob(JobMode::Copy, "/a", "/b");
    RcloneRunContext interrupted = contextFor("1.60.1");
    interrupted.interrupted = true;
    EXPECT_FALSE(joined(copy, interrupted).contains("--update"));

    const QString move = joined(makeJob(JobMode::Move, "/a", "/b"), contextFor("1.60.1"));
    EXPECT_FALSE(move.contains("--update"));
    EXPECT_TRUE(move.contains("--suffix .replaced-20260510-140309 --suffix-keep-extension"));
}

TEST(RcloneProgress, ReadsCapturedStatsAndKeepsOtherLinesReadable) {
    QFile captured(QStringLiteral(QUINDLE_SOURCE_DIR "/tests/transfers/data/rclone-1.60-copy.log"));
    ASSERT_TRUE(captured.open(QIODevice::ReadOnly));
    QList<JobProgress> progress;
    QStringList readable;
    for (const QByteArray &line : captured.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        if (const auto value = RcloneClient::parseProgress(QString::fromUtf8(line)))
            progress << *value;
        else
            readable << RcloneClient::readableLine(QString::fromUtf8(line));
    }
    ASSERT_EQ(progress.size(), 4);
    // The first record has no estimate yet and one file in flight.
    EXPECT_EQ(progress[0].bytesTransferred, 2125826);
    EXPECT_EQ(progress[0].bytesTotal, 6291456 + 2);
    EXPECT_EQ(progress[0].etaSeconds, std::nullopt);
    EXPECT_EQ(progress[0].currentFile, "big.bin");
    EXPECT_EQ(progress[1].etaSeconds, 0);
    EXPECT_GT(progress[1].speedBytesPerSec, 2e6);
    EXPECT_EQ(progress[3].errors, 2);
    EXPECT_EQ(progress[3].currentFile, std::nullopt);

    EXPECT_TRUE(readable.contains("small.txt: Copied (new)"));
    EXPECT_TRUE(readable.contains(
        "ERROR: big.bin: Failed to copy: mkdir /home/me/blocker: not a directory"));
    EXPECT_TRUE(readable.last().endsWith("not a directory"));

    // A stats record with nothing in it is still progress; a record without stats is not.
    EXPECT_EQ(RcloneClient::parseProgress(R"({"stats":{}})"), JobProgress{});
    EXPECT_EQ(RcloneClient::parseProgress(R"({"level":"info","msg":"x"})"), std::nullopt);
    EXPECT_EQ(RcloneClient::parseProgress("not json"), std::nullopt);
}

class RcloneVersions : public test::TransferTest {};

TEST_F(RcloneVersions, TheProbeReadsTheBannerOfEachBuild) {
    test::FakeExecutables fakes;
    const QString old =
        fakes.add("rclone-old", "echo 'rclone v1.60.1-DEV'; echo '- os/version: debian'");
    const QString newer = fakes.add("rclone-new", "echo 'rclone v1.63.0'");
    const QString broken = fakes.add("rclone-broken", "exit 3");
    EXPECT_EQ(RcloneClient::probeVersion(old), "v1.60.1-DEV");
    EXPECT_EQ(RcloneClient::probeVersion(broken), std::nullopt);

    const SyncJob upload = makeJob(JobMode::Copy, "/a", "mem:b");
    const auto argumentsFor = [&](const QString &executable) {
        RcloneRunContext context;
        context.features = *RcloneFeatures::fromVersion(*RcloneClient::probeVersion(executable));
        return RcloneClient::arguments(upload, context);
    };
    EXPECT_FALSE(argumentsFor(old).contains("--partial-suffix"));
    EXPECT_TRUE(argumentsFor(newer).contains("--partial-suffix"));

    setEnv("QUINDLE_RCLONE", inHome("no-such-rclone"));
    EXPECT_EQ(RcloneClient::locate(), QString());
    setEnv("QUINDLE_RCLONE", old);
    EXPECT_EQ(RcloneClient::locate(), old);
}

TEST_F(RcloneVersions, TheInstalledRcloneAcceptsEveryFlagWeGiveIt) {
    const QString served = inHome("served");
    addPeer(test::RclonePeer::Kind::WebDav, "dav", served);
    test::generateTree(
        inHome("src"),
        {.seed = 3, .files = 5, .symlink = false, .hardLink = false, .emptyFolder = false});
    const QString rclone = RcloneClient::locate();
    const std::optional<QString> version = RcloneClient::probeVersion(rclone);
    ASSERT_TRUE(version);
    RcloneRunContext context;
    context.features = *RcloneFeatures::fromVersion(*version);
    context.remoteTypes = RemoteManager::typesByName(RemoteManager::readRemotes().value());
    EXPECT_EQ(context.remoteTypes.value("dav"), "webdav");
    context.startedAt = QDateTime::currentDateTime();
    for (const JobMode mode : {JobMode::Copy, JobMode::Move, JobMode::SyncOneWay}) {
        SyncJob upload(mode, inHome("src"), QStringLiteral("dav:") + rawValue(mode));
        upload.bandwidthLimit = "100M";
        upload.dryRun = mode == JobMode::Move;
        const test::CommandRun run =
            test::runCommand(rclone, RcloneClient::arguments(upload, context));
        EXPECT_EQ(run.status, 0) << rawValue(mode).toStdString() << run.err.toStdString();
    }
    EXPECT_EQ(test::fileEntries(served + "/copy"), test::fileEntries(inHome("src")));
}
