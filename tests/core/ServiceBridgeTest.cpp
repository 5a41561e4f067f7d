#include "core/ServiceBridge.h"
#include "support/WaitUntil.h"

#include <QFutureWatcher>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quindle;
using namespace std::chrono_literals;

namespace {
ProcessOutput runBash(const char *script, std::chrono::milliseconds timeout = 10s) {
    return ServiceBridge::runProcessBlocking("/bin/bash", {"-c", QString::fromUtf8(script)},
                                             timeout);
}
} // namespace

TEST(ServiceBridge, CombinesBothStreamsInArrivalOrder) {
    const ProcessOutput result = runBash("echo one; echo two >&2; echo three; exit 4");
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.output, "one\ntwo\nthree\n");
}

TEST(ServiceBridge, WatchdogEndsALongRunAndKeepsWhatItPrinted) {
    const ProcessOutput result = runBash("echo started; sleep 30; echo never", 1s);
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(result.output, "started\n");
}

TEST(ServiceBridge, TimedOutRunIsNeverASuccessEvenIfTheProgramExitsZeroOnTerm) {
    const ProcessOutput result =
        runBash("trap 'exit 0' TERM; echo waiting; while :; do sleep 0.05; done", 500ms);
    EXPECT_NE(result.status, 0);
    // The stop reaches the loop's sleep as well, and bash may say so.
    EXPECT_TRUE(result.output.startsWith("waiting\n"));
}

TEST(ServiceBridge, ProgramThatCannotStart) {
    const ProcessOutput result = ServiceBridge::runProcessBlocking("/nonexistent/program", {}, 5s);
    EXPECT_EQ(result.status, -1);
    EXPECT_TRUE(result.output.startsWith("Launch failed: ")) << result.output.toStdString();
}

TEST(ServiceBridge, UndecodableOutputIsEmpty) {
    EXPECT_EQ(runBash("printf 'ok\\xff\\xfe'").output, QString());
    EXPECT_EQ(runBash("printf 'caf\\xc3\\xa9'").output, "café");
}

TEST(ServiceBridge, LargeOutputDoesNotStallTheChild) {
    const ProcessOutput result = runBash("head -c 3000000 /dev/zero | tr '\\0' 'x'", 20s);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output.size(), 3000000);
}

TEST(ServiceBridge, AsyncRunsDoNotBlockTheCallerAndRunSideBySide) {
    // Each run waits until all four have started: run one after another, none could finish.
    const QTemporaryDir meeting;
    QList<QFuture<ProcessOutput>> runs;
    for (int i = 0; i < 4; ++i)
        runs << ServiceBridge::runProcess(
            "/bin/bash",
            {"-c", QStringLiteral("cd '%1' && touch %2 && for _ in {1..200}; do "
                                  "[[ -e 0 && -e 1 && -e 2 && -e 3 ]] && exec echo %2; sleep 0.05; "
                                  "done; echo alone")
                       .arg(meeting.path())
                       .arg(i)},
            20s);
    // The caller got its futures back while the runs still wait for each other.
    EXPECT_FALSE(
        std::all_of(runs.begin(), runs.end(), [](const auto &f) { return f.isFinished(); }));
    ASSERT_TRUE(test::waitUntil([&] {
        return std::all_of(runs.begin(), runs.end(), [](const auto &f) { return f.isFinished(); });
    }));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(runs[i].result().output, QStringLiteral("%1\n").arg(i));
}
