#include "TransferFixture.h"

#include "support/RecordingInhibitor.h"
#include "transfers/JobStore.h"
#include "transfers/TransferSleepGuard.h"

#include <QFile>

using namespace quindle;

namespace {

QDateTime berlin(const char *iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC();
}

QList<SyncJob> instancesOf(const SyncManager &manager, const SyncJob &templ) {
    QList<SyncJob> found;
    for (const SyncJob &job : manager.jobs())
        if (job.isScheduledInstance && job.sameTransfer(templ))
            found << job;
    return found;
}

} // namespace

class TransferScheduler : public test::TransferTest {
protected:
    // A daily 03:00 template made at 09:00 on 10 May that ran then.
    SyncJob dailyTemplate() {
        test::writeText(inHome("src/a.txt"), "a");
        SyncJob templ = job(JobMode::Copy, inHome("src"), "mem:daily");
        templ.createdAt = berlin("2026-05-10T09:00:00+02:00");
        templ.schedule = Schedule::daily(3, 0);
        templ.state = JobState::Completed;
        return templ;
    }
    void setNow(const char *iso) {
        now = berlin(iso);
        clock = [this] { return now; };
    }
    QDateTime now;
};

TEST_F(TransferScheduler, ThreeMissedDaysBecomeOneRunAndTheNextFireFollowsIt) {
    const SyncJob templ = dailyTemplate();
    ASSERT_EQ(JobStore::save({templ}), std::nullopt);
    setNow("2026-05-13T10:00:00+02:00");
    makeManager();

    ASSERT_EQ(instancesOf(*manager, templ).size(), 1);
    const SyncJob saved = *manager->job(templ.id);
    EXPECT_EQ(saved.lastScheduledRun, now);
    EXPECT_EQ(saved.missedRuns, 2);
    EXPECT_EQ(missedRunsText(saved),
              "Missed 2 scheduled runs; replaced by one run at 2026-05-13 10:00.");
    EXPECT_EQ(JobStore::load().jobs.last().missedRuns, 2);
    const SyncJob instance = instancesOf(*manager, templ).first();
    ASSERT_TRUE(waitForState(instance.id, JobState::Completed));

    // Nothing more until 03:00 the next morning, then exactly one run.
    setNow("2026-05-14T02:59:00+02:00");
    manager->setClock(clock);
    manager->tickScheduler();
    EXPECT_EQ(instancesOf(*manager, templ).size(), 1);
    setNow("2026-05-14T03:00:30+02:00");
    manager->setClock(clock);
    manager->tickScheduler();
    manager->tickScheduler();
    EXPECT_EQ(instancesOf(*manager, templ).size(), 2);
    EXPECT_EQ(manager->job(templ.id)->missedRuns, 0);
}

TEST_F(TransferScheduler, ARestartDuringARunStartsNoSecondOne) {
    SyncJob templ = dailyTemplate();
    templ.lastScheduledRun = berlin("2026-05-11T03:00:10+02:00");
    SyncJob running = job(templ.mode, templ.source, templ.destination);
    running.isScheduledInstance = true;
    running.state = JobState::Running;
    ASSERT_EQ(JobStore::save({running, templ}), std::nullopt);
    setNow("2026-05-12T03:00:10+02:00");
    makeManager();

    EXPECT_EQ(instancesOf(*manager, templ).size(), 1);
    EXPECT_EQ(manager->job(templ.id)->lastScheduledRun, templ.lastScheduledRun);
    ASSERT_TRUE(waitForState(running.id, JobState::Completed));
    manager->tickScheduler(); // the first pass after the run fires the missed time
    EXPECT_EQ(instancesOf(*manager, templ).size(), 2);
}

class TransferFailures : public test::TransferTest {};

TEST_F(TransferFailures, ADestinationUnderAFileFailsWithTheLastFewReadableLines) {
    test::writeText(inHome("src/a.txt"), "a");
    test::writeText(inHome("src/b.txt"), "b");
    test::writeText(inHome("blocker"), "a file, not a folder");
    makeManager();
    const SyncJob blocked = job(JobMode::Copy, inHome("src"), inHome("blocker/sub"));
    ASSERT_TRUE(manager->enqueue(blocked));
    ASSERT_TRUE(waitForState(blocked.id, JobState::Failed));
    const QString message = *manager->job(blocked.id)->errorMessage;
    EXPECT_TRUE(message.startsWith("rclone exited with code 1. Last log lines:\n"))
        << message.toStdString();
    const QStringList lines = message.split('\n').mid(1);
    EXPECT_GE(lines.size(), 1);
    EXPECT_LE(lines.size(), 5);
    for (const QString &line : lines)
        EXPECT_FALSE(line.startsWith('{')) << line.toStdString();
    EXPECT_TRUE(message.contains("not a directory"));
}

TEST_F(TransferFailures, WithoutRcloneAJobFailsAtOnceWithTheInstallCommand) {
    setEnv("QUINDLE_RCLONE", inHome("nowhere/rclone"));
    makeManager();
    EXPECT_FALSE(manager->rcloneInstalled());
    const SyncJob lost = job(JobMode::Copy, inHome("src"), "mem:x");
    ASSERT_TRUE(manager->enqueue(lost));
    EXPECT_EQ(stateOf(lost.id), JobState::Failed);
    EXPECT_EQ(manager->job(lost.id)->errorMessage,
              "rclone is not installed. Install with: sudo apt install rclone");
    EXPECT_TRUE(manager->job(lost.id)->log.isEmpty());
}

TEST_F(TransferFailures, AChattyRunKeepsOnlyTheLast500Lines) {
    test::FakeExecutables fakes;
    setEnv("QUINDLE_RCLONE",
           fakes.add("rclone", "if [ \"$1\" = version ]; then echo 'rclone v1.60.1'; exit 0; fi\n"
                               "for i in $(seq 1 1500); do echo \"line $i\" >&2; done\n"
                               "echo '{\"stats\":{\"bytes\":5,\"totalBytes\":5}}' >&2\n"));
    makeManager();
    const SyncJob chatty = job(JobMode::Copy, inHome("src"), inHome("dst"));
    ASSERT_TRUE(manager->enqueue(chatty));
    ASSERT_TRUE(waitForState(chatty.id, JobState::Completed));
    const SyncJob done = *manager->job(chatty.id);
    EXPECT_EQ(done.log.size(), 500);
    EXPECT_EQ(done.log.last(), "line 1500");
    EXPECT_EQ(done.progress.bytesTotal, 5); // the stats record fed progress, not the log
}

TEST_F(TransferFailures, ACancelledRunIsCancelledAndRetryStartsItAnew) {
    test::writeRandomFile(inHome("src/big.bin"), 4 * 1024 * 1024, 9);
    makeManager();
    SyncJob slow = job(JobMode::Copy, inHome("src"), inHome("dst"));
    slow.bandwidthLimit = "1M";
    ASSERT_TRUE(manager->enqueue(slow));
    ASSERT_TRUE(waitForState(slow.id, JobState::Running));
    manager->cancel(slow.id);
    ASSERT_TRUE(waitForState(slow.id, JobState::Canceled));
    EXPECT_EQ(manager->retry(QUuid::createUuid()), std::nullopt);
    const std::optional<QUuid> again = manager->retry(slow.id);
    ASSERT_TRUE(again);
    EXPECT_EQ(manager->job(*again)->bandwidthLimit, "1M");
    manager->cancel(*again);
    ASSERT_TRUE(waitForState(*again, JobState::Canceled));
    EXPECT_TRUE(manager->remove(slow.id));
    manager->clearFinished();
    EXPECT_TRUE(manager->jobs().isEmpty());
}

TEST_F(TransferFailures, AMoveAndATransferHoldOneSleepLock) {
    test::RecordingInhibitor logind;
    platform::SharedSleepLock shared(logind);
    platform::SleepInhibitor &moves = shared.newHolder();
    test::writeRandomFile(inHome("src/big.bin"), 2 * 1024 * 1024, 9);
    makeManager();
    TransferSleepGuard guard(*manager, shared.newHolder());

    moves.acquire("Quindle is moving Projects to the drive.");
    SyncJob slow = job(JobMode::Copy, inHome("src"), inHome("dst"));
    slow.bandwidthLimit = "1M";
    ASSERT_TRUE(manager->enqueue(slow));
    moves.release(); // the move ends first: the transfer still keeps the computer awake
    EXPECT_TRUE(logind.held);
    ASSERT_TRUE(waitForState(slow.id, JobState::Completed));
    EXPECT_FALSE(logind.held);
    EXPECT_EQ(logind.reasons, QStringList{"Quindle is moving Projects to the drive."});
    EXPECT_EQ(TransferSleepGuard::reasonFor(2), "Quindle is running 2 transfers.");
}
