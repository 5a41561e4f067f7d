// The storage models against the real service scripts in a temporary home.
#include "core/StatePaths.h"
#include "insight/BackupStore.h"
#include "insight/CloudFolders.h"
#include "insight/FreeSpaceResult.h"
#include "insight/ServiceRun.h"
#include "insight/StorageScan.h"
#include "platform/ChildProcess.h"
#include "platform/ExclusiveFileLock.h"
#include "support/FakeExecutables.h"
#include "support/ProcessState.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"
#include "support/TreeGenerator.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

#include <unistd.h>

using namespace quindle;
using test::ServiceSandbox;

namespace {

// A file of `mb` MiB of real blocks.
void allocate(const QString &path, int mb) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray block(1024 * 1024, 'q');
    for (int i = 0; i < mb; ++i)
        file.write(block);
}

qint64 duBytes(const QString &path) {
    const platform::ChildResult du =
        platform::ChildProcess::run(platform::ChildCommand("du", {"-skx", path}));
    return QString::fromUtf8(du.output).section(u'\t', 0, 0).toLongLong() * 1024;
}

template <typename Model, typename Signal> void awaitSignal(Model &model, Signal signal) {
    bool done = false;
    QObject::connect(&model, signal, &model, [&done] { done = true; });
    ASSERT_TRUE(test::waitUntil([&] { return done; }, 120000));
}

} // namespace

class StorageInsight : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        drive = inHome("drive");
        QDir().mkpath(drive);
    }
    void installWithDrive(const QStringList &config = {}) {
        ServiceSandbox::install(drive, config);
        ASSERT_EQ(ServiceSandbox::prepareDrive(drive), 0);
        ASSERT_EQ(ServiceSandbox::run({"watch", "--once"}), 0);
    }
    QString drive;
};

TEST_F(StorageInsight, ScanRowsAddUpToDuWhateverTheChunksAndSortLargestFirst) {
    ServiceSandbox::install(drive);
    allocate(inHome("Videos/a.bin"), 3);
    allocate(inHome("it's \"odd\"\tname/f"), 2);
    allocate(inHome(".cache/pip/wheel"), 2);
    ASSERT_TRUE(QFile::link(inHome("Videos/a.bin"), inHome("Videos-link")));
    // A hard link counts once, for the first row reaching it.
    ASSERT_EQ(::link(QFile::encodeName(inHome("Videos/a.bin")).constData(),
                     QFile::encodeName(inHome("Docs-shared")).constData()),
              0);
    test::writeText(inHome(".profile"), "small");

    StorageScan scan;
    scan.start();
    ASSERT_TRUE(scan.isRunning());
    awaitSignal(scan, &StorageScan::finished);
    ASSERT_TRUE(scan.isDone()) << scan.lastError().value_or(QString()).toStdString();
    qint64 sum = 0;
    for (qsizetype i = 0; i < scan.rows().size(); ++i) {
        sum += scan.rows().at(i).sizeBytes;
        if (i > 0) {
            EXPECT_GE(scan.rows().at(i - 1).sizeBytes, scan.rows().at(i).sizeBytes);
        }
    }
    EXPECT_EQ(sum, scan.totalBytes());
    EXPECT_LE(std::abs(scan.totalBytes() - duBytes(home())), 64 * 1024);
    QStringList labels;
    for (const ScanRow &row : scan.rows())
        labels << row.label;
    EXPECT_TRUE(labels.contains("it's \"odd\"\tname")) << labels.join('|').toStdString();
    EXPECT_TRUE(labels.contains(".cache/pip"));
    EXPECT_FALSE(labels.contains("Videos-link"));
    EXPECT_TRUE(scan.footerText().startsWith("Scan complete · "));

    // The same stream cut anywhere gives the same rows.
    QString raw;
    ASSERT_EQ(ServiceSandbox::run({"scan-storage"}, &raw), 0);
    StorageScan whole, bytewise;
    whole.feed(raw.toUtf8());
    for (char c : raw.toUtf8())
        bytewise.feed(QByteArray(1, c));
    auto sizes = [](const StorageScan &s) {
        QList<std::pair<QString, qint64>> out;
        for (const ScanRow &row : s.rows())
            out.append({row.path, row.sizeBytes});
        return out;
    };
    ASSERT_TRUE(whole.isDone());
    EXPECT_EQ(sizes(bytewise), sizes(whole));
    EXPECT_EQ(bytewise.totalBytes(), whole.totalBytes());
}

TEST(StorageScanLines, BrokenLinesAreSkippedAndOnlyTheDoneLineCarriesTotals) {
    StorageScan scan;
    for (const char *line :
         {"not json", "[1,2]", R"({"path":"/h/a","label":"a"})", R"({"label":"b","size_bytes":5})",
          R"({"path":"/h/c","label":"c","size_bytes":"7"})",
          R"({"phase":"scanning","total_bytes":99,"probed":3})",
          R"({"path":"/h/small","label":"small","size_bytes":10})",
          R"({"path":"/h/big","label":"big","size_bytes":9007199254740993,"actionable":true})",
          R"({"path":"/h/mid","label":"mid","size_bytes":2000})"})
        scan.ingest(line);
    ASSERT_EQ(scan.rows().size(), 3);
    EXPECT_EQ(scan.rows().at(0).sizeBytes, 9007199254740993LL);
    EXPECT_TRUE(scan.rows().at(0).actionable);
    EXPECT_FALSE(scan.rows().at(1).actionable);
    EXPECT_EQ(scan.rows().at(2).label, "small");
    EXPECT_EQ(scan.totalBytes(), 0);
    EXPECT_EQ(scan.footerText(), "3 paths found so far");
    scan.ingest(R"({"phase":"done","total_bytes":1234567,"probed":4})");
    EXPECT_EQ(scan.probedCount(), 4);
    EXPECT_EQ(scan.footerText(), "Scan complete · 1.2 MB across 3 paths");
    EXPECT_EQ(scanSizeText(999), "999 bytes");
    EXPECT_EQ(scanSizeText(999'960), "1.0 MB");
}

TEST_F(StorageInsight, CancellingAScanEndsItsWholeGroupEvenADuThatIgnoresSigterm) {
    ServiceSandbox::install(drive);
    test::writeText(inHome("Docs/a"), "a");
    test::FakeExecutables fakes;
    const QString pidFile = inHome("du.pid");
    fakes.add("du",
              "trap '' TERM\necho $$ >'" + pidFile.toUtf8() + "'\nwhile :; do sleep 0.2; done\n");
    fakes.putFirstOnPath();
    StorageScan scan;
    scan.start();
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo(pidFile).size() > 0; }));
    const qint64 du = test::readText(pidFile).trimmed().toLongLong();
    scan.cancel();
    awaitSignal(scan, &StorageScan::finished);
    EXPECT_FALSE(scan.isRunning());
    EXPECT_FALSE(scan.isDone());
    EXPECT_TRUE(test::waitUntil([&] { return test::processEnded(du); }));
}

TEST_F(StorageInsight, AMoveLinksAnActionableFolderAndRefusalsChangeNothing) {
    installWithDrive();
    allocate(inHome("Footage/clip.bin"), 101);
    test::writeText(inHome("Footage/notes.txt"), "notes");
    const QByteArray before = test::treeDigest(inHome("Footage"));

    ServiceRun refused(ServiceRun::folderMove());
    refused.start("/usr");
    awaitSignal(refused, &ServiceRun::finished);
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.output().startsWith("Starting move of /usr\n"));
    EXPECT_TRUE(refused.output().endsWith("\n\n— finished with exit code 1"));

    ServiceRun move(ServiceRun::folderMove());
    move.start(inHome("Footage"));
    awaitSignal(move, &ServiceRun::finished);
    ASSERT_EQ(move.exitCode(), 0) << move.output().toStdString();
    EXPECT_TRUE(move.output().contains("it is a link to its copy now."));
    EXPECT_TRUE(QFileInfo(inHome("Footage")).isSymLink());
    EXPECT_EQ(test::treeDigest(inHome("Footage") + u'/'), before);
    ASSERT_EQ(ServiceSandbox::run({"rollback", "--yes"}), 0);
    EXPECT_FALSE(QFileInfo(inHome("Footage")).isSymLink());
    EXPECT_EQ(test::treeDigest(inHome("Footage")), before);
}

TEST_F(StorageInsight, RunOutputKeepsItsTailInWholeCharacters) {
    ServiceSandbox::install(drive);
    // A service that prints more than the cap, in two-byte characters cut across chunks.
    test::writeText(paths::serviceScript(),
                    "echo starting >&2\n"
                    "for i in $(seq 1 400); do printf 'é%.0s' $(seq 1 100); done; echo tail\n"
                    "exit 4\n");
    ServiceRun run(ServiceRun::freeSpace());
    run.start();
    awaitSignal(run, &ServiceRun::finished);
    EXPECT_EQ(run.exitCode(), 4);
    EXPECT_EQ(run.output().size(), 32000);
    EXPECT_TRUE(run.output().endsWith("tail\n"));
    EXPECT_FALSE(run.output().contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(run.finishedAt() >= run.startedAt());
}

TEST(FreeSpaceSummaryText, KeysFillTheirFieldsAndTheHeadlineFollowsTheNumbers) {
    const FreeSpaceSummary parsed = FreeSpaceSummary::parse(
        "started_at=2026-12-06T09:00:00Z=x\nbefore_free_gb=40\nafter_free_gb=abc\ndelta_gb=-3\n"
        "files_moved=12\ncaches_cleaned=4\nsurprise=1\nuser_has_cache_rule=true\nno equals\n");
    EXPECT_EQ(parsed.startedAt, "2026-12-06T09:00:00Z=x");
    EXPECT_EQ(parsed.beforeFreeGB, 40);
    EXPECT_EQ(parsed.afterFreeGB, 0);
    EXPECT_FALSE(parsed.userHasCacheRule);
    EXPECT_EQ(parsed.headline(), "Cleaned 12 files and 4 caches — apps wrote 3 GB while running");
    const std::tuple<qint64, qint64, qint64, const char *> cases[] = {
        {5, 0, 0, "Already optimized — nothing to clean up"},
        {2, 3, 1, "Freed 2 GB — 3 files moved, 1 caches cleaned"},
        {0, 0, 7, "Cleaned 0 files and 7 caches — no net change in free space"},
    };
    for (const auto &[delta, moved, cleaned, headline] : cases) {
        FreeSpaceSummary summary;
        summary.deltaGB = delta;
        summary.filesMoved = moved;
        summary.cachesCleaned = cleaned;
        EXPECT_EQ(summary.headline(), QString::fromUtf8(headline));
    }
    EXPECT_EQ(CloudRoot::parseList("gdrive:Photos\t/m/p\nbad line\na\tb\tc\n\n"
                                   "local docs\t/m/d\n"),
              (QList<CloudRoot>{{"gdrive:Photos", "/m/p"}, {"local docs", "/m/d"}}));
}

TEST_F(StorageInsight, ARealFreeSpaceRunLeavesABannerThatStaysSeenAfterARestart) {
    installWithDrive(
        {"APP_CACHE_PATHS=(\"$HOME/.cache/app\")", "RULES=(\"app_cache_clean | - | | 7\")"});
    test::writeText(inHome(".cache/app/entry/blob"), "cached");
    // The service runs a month later, when the cache entry is old enough to go. The library
    // shifts the clock of the program a preloaded one becomes by exec, not its own.
    ASSERT_TRUE(QFile::rename(paths::serviceScript(), paths::quindleDirectory() + "/real.sh"));
    test::writeText(paths::serviceScript(),
                    "LD_PRELOAD='/usr/$LIB/faketime/libfaketime.so.1' FAKETIME=+30d "
                    "FAKETIME_SKIP_CMDS=rsync exec bash -c 'exec \"$@\"' faked bash "
                    "\"$HOME/.quindle/real.sh\" \"$@\"\n");
    FreeSpaceResult result;
    result.reload();
    EXPECT_FALSE(result.hasUnseen());

    ServiceRun run(ServiceRun::freeSpace());
    run.start();
    awaitSignal(run, &ServiceRun::finished);
    ASSERT_EQ(run.exitCode(), 0) << run.output().toStdString();
    EXPECT_FALSE(QFileInfo::exists(inHome(".cache/app/entry")));
    result.reload();
    ASSERT_TRUE(result.latest().has_value());
    EXPECT_EQ(result.latest()->cachesCleaned, 1);
    EXPECT_TRUE(result.hasUnseen());
    result.acknowledge();
    EXPECT_FALSE(result.hasUnseen());

    FreeSpaceResult afterRestart;
    afterRestart.reload();
    EXPECT_FALSE(afterRestart.hasUnseen());
    // A later run's summary is news again.
    QFile summary(paths::lastFreeSpaceFile());
    ASSERT_TRUE(summary.open(QIODevice::ReadWrite));
    summary.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60),
                        QFileDevice::FileModificationTime);
    summary.close();
    afterRestart.reload();
    EXPECT_TRUE(afterRestart.hasUnseen());
}

TEST_F(StorageInsight, BackupsListNewestFirstAndSayWhyThereAreNone) {
    BackupStore store;
    store.refresh();
    EXPECT_EQ(store.emptyReason(), BackupEmptyReason::NVMePathMissing);
    installWithDrive();
    store.refresh();
    EXPECT_EQ(store.emptyReason(), BackupEmptyReason::BackupFolderMissing);
    const QString root = *BackupStore::backupRoot();
    QDir().mkpath(root + "/notes");
    store.refresh();
    EXPECT_EQ(store.emptyReason(), BackupEmptyReason::NoDatedFolders);

    QDir().mkpath(root + "/2020-01-02");
    store.runBackupNowBlocking();
    ASSERT_TRUE(store.lastManualSucceeded()) << store.lastManualResult()->toStdString();
    EXPECT_TRUE(store.lastManualResult()->startsWith("Backed up"));
    store.runBackupNow();
    ASSERT_TRUE(test::waitUntil([&] { return !store.isBackingUpNow(); }, 60000));
    ASSERT_EQ(store.records().size(), 3);
    EXPECT_EQ(store.emptyReason(), BackupEmptyReason::HasRecords);
    EXPECT_GE(store.records().at(0).folder, store.records().at(1).folder);
    EXPECT_EQ(store.records().at(0).host, "Test Box");
    EXPECT_EQ(store.records().at(2).dateText(), "2020-01-02");
    EXPECT_FALSE(store.records().at(2).host.has_value());
}

TEST_F(StorageInsight, RestoreSwapsTheBackupInKeepsEveryEarlierCopyAndWaitsForRunningJobs) {
    installWithDrive();
    test::writeText(paths::syncDirectory() + "/jobs.json", "backed up");
    bool jobsRunning = false;
    int swaps = 0;
    BackupStore store([&] { return jobsRunning; }, [&] { ++swaps; });
    store.runBackupNowBlocking();
    ASSERT_EQ(store.records().size(), 1);
    const BackupRecord backup = store.records().first();
    test::writeText(paths::syncDirectory() + "/jobs.json", "changed since");

    jobsRunning = true;
    EXPECT_EQ(store.restore(backup), BackupStore::busyText());
    jobsRunning = false;
    {
        QDir().mkpath(QFileInfo(paths::passLockFile()).path());
        const auto pass = platform::ExclusiveFileLock::tryTake(paths::passLockFile());
        ASSERT_TRUE(pass.has_value());
        EXPECT_EQ(store.restore(backup), BackupStore::busyText());
    }
    EXPECT_EQ(test::readText(paths::syncDirectory() + "/jobs.json"), "changed since");
    EXPECT_EQ(swaps, 0);

    ASSERT_EQ(store.restore(backup), std::nullopt);
    ASSERT_EQ(store.restore(backup), std::nullopt);
    EXPECT_EQ(swaps, 2);
    EXPECT_EQ(test::readText(paths::syncDirectory() + "/jobs.json"), "backed up");
    EXPECT_EQ(test::treeDigest(backup.folder + "/state"),
              test::treeDigest(paths::stateDirectory()));
    const QStringList aside =
        QDir(paths::quindleDirectory()).entryList({"sync.pre-restore-*"}, QDir::Dirs);
    ASSERT_EQ(aside.size(), 2) << aside.join(' ').toStdString();
    EXPECT_EQ(test::readText(paths::quindleDirectory() + u'/' + aside.first() + "/jobs.json"),
              "changed since");
    EXPECT_TRUE(
        QDir(paths::quindleDirectory()).entryList({"*.restoring-*"}, QDir::AllEntries).isEmpty());
}
