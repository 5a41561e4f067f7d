#include "platform/ChildProcess.h"
#include "support/ProcessState.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace quindle;
using namespace quindle::platform;
using namespace std::chrono_literals;
using Outcome = ChildResult::Outcome;

namespace {

ChildCommand bash(const QString &script) {
    return ChildCommand("/bin/bash", {"-c", script});
}

// The asynchronous form, driven by this thread's event loop.
struct AsyncRun {
    explicit AsyncRun(ChildCommand command)
        : child(std::move(command)) {
        QObject::connect(&child, &ChildProcess::line, [this](ChildStream s, const QString &text) {
            (s == ChildStream::Output ? out : err) << text;
        });
        QObject::connect(&child, &ChildProcess::chunk,
                         [this](ChildStream, const QByteArray &bytes) { chunks << bytes; });
        QObject::connect(&child, &ChildProcess::finished,
                         [this](const ChildResult &r) { result = r; });
    }
    bool finishes(int ms = 10000) {
        return test::waitUntil([&] { return result.has_value(); }, ms);
    }

    ChildProcess child;
    QStringList out;
    QStringList err;
    QList<QByteArray> chunks;
    std::optional<ChildResult> result;
};

} // namespace

TEST(ChildProcessRun, ExitCodeStreamsEnvironmentAndWorkingFolder) {
    QTemporaryDir folder;
    // `cat` ends at once only when standard input is empty.
    ChildCommand command = bash("cat; echo \"$GREETING\"; pwd; echo warn >&2; exit 3");
    command.environment.insert("GREETING", "hello there");
    command.workingDirectory = folder.path();
    const ChildResult separate = ChildProcess::run(command);
    EXPECT_EQ(separate.outcome, Outcome::Exited);
    EXPECT_EQ(separate.exitCode, 3);
    EXPECT_EQ(separate.shellStatus(), 3);
    EXPECT_EQ(separate.output,
              "hello there\n" + QDir(folder.path()).canonicalPath().toUtf8() + "\n");
    EXPECT_EQ(separate.error, "warn\n");

    ChildCommand combined = bash("echo one; echo two >&2; echo three");
    combined.channels = ChildCommand::Channels::Combined;
    const ChildResult both = ChildProcess::run(combined);
    EXPECT_TRUE(both.succeeded());
    EXPECT_EQ(both.output, "one\ntwo\nthree\n");
}

TEST(ChildProcessRun, ProgramThatCannotRunFailsToStartWithTheReason) {
    QTemporaryDir folder;
    const QString plainFile = folder.filePath("not-a-program");
    QFile(plainFile).open(QIODevice::WriteOnly);
    for (const QString &program :
         QStringList{"/no/such/program", "no-such-program-anywhere", folder.path(), plainFile}) {
        const ChildResult blocking = ChildProcess::run(ChildCommand(program));
        EXPECT_EQ(blocking.outcome, Outcome::FailedToStart) << program.toStdString();
        EXPECT_FALSE(blocking.startError.isEmpty()) << program.toStdString();
        EXPECT_EQ(blocking.shellStatus(), -1);

        // The asynchronous form says so at once, without waiting for the child.
        ChildProcess child{ChildCommand(program)};
        EXPECT_FALSE(child.start()) << program.toStdString();
        EXPECT_EQ(child.result().startError, blocking.startError);
    }
}

TEST(ChildProcessRun, ExitBySignalIsReportedAsTheSignal) {
    const ChildResult blocking = ChildProcess::run(bash("kill -USR1 $$"));
    EXPECT_EQ(blocking.outcome, Outcome::Signalled);
    EXPECT_EQ(blocking.signalNumber, SIGUSR1);
    EXPECT_EQ(blocking.shellStatus(), 128 + SIGUSR1);
    EXPECT_FALSE(blocking.succeeded());

    AsyncRun run(bash("kill -SEGV $$"));
    ASSERT_TRUE(run.child.start());
    ASSERT_TRUE(run.finishes());
    EXPECT_EQ(run.result->outcome, Outcome::Signalled);
    EXPECT_EQ(run.result->signalNumber, SIGSEGV);
}

TEST(ChildProcessRun, DeadlineEndsTheRunAndKeepsWhatWasPrinted) {
    ChildCommand command = bash("echo before; sleep 30; echo never");
    command.deadline = 300ms;
    const ChildResult blocking = ChildProcess::run(command);
    EXPECT_EQ(blocking.outcome, Outcome::DeadlineHit);
    EXPECT_EQ(blocking.output, "before\n");
    EXPECT_NE(blocking.shellStatus(), 0);

    command.delivery = ChildCommand::Delivery::Lines;
    AsyncRun run(command);
    ASSERT_TRUE(run.child.start());
    ASSERT_TRUE(run.finishes());
    EXPECT_EQ(run.result->outcome, Outcome::DeadlineHit);
    EXPECT_EQ(run.out, QStringList{"before"});

    // Leaving quietly on SIGTERM does not make a run that had to be ended a success.
    ChildCommand obliging = bash("trap 'exit 0' TERM; while :; do sleep 0.05; done");
    obliging.deadline = 200ms;
    const ChildResult ended = ChildProcess::run(obliging);
    EXPECT_EQ(ended.outcome, Outcome::DeadlineHit);
    EXPECT_EQ(ended.exitCode, 0);
    EXPECT_NE(ended.shellStatus(), 0);
}

TEST(ChildProcessStop, AChildThatIgnoresTermIsKilledAfterTheGrace) {
    ChildCommand stubborn = bash("trap '' TERM; echo ready; sleep 30");
    stubborn.grace = 200ms;
    stubborn.delivery = ChildCommand::Delivery::Lines;
    AsyncRun run(stubborn);
    ASSERT_TRUE(run.child.start());
    ASSERT_TRUE(test::waitUntil([&] { return !run.out.isEmpty(); }));
    run.child.stop();
    ASSERT_TRUE(run.finishes());
    EXPECT_EQ(run.result->outcome, Outcome::Signalled);
    EXPECT_EQ(run.result->signalNumber, SIGKILL);

    stubborn.delivery = ChildCommand::Delivery::Collect;
    stubborn.deadline = 200ms;
    const ChildResult blocking = ChildProcess::run(stubborn);
    EXPECT_EQ(blocking.outcome, Outcome::DeadlineHit);
    EXPECT_EQ(blocking.signalNumber, SIGKILL);
    EXPECT_EQ(blocking.output, "ready\n");
}

TEST(ChildProcessStop, StopReachesTheWholeGroup) {
    ChildCommand parent = bash("sleep 30 & echo $!; wait");
    parent.delivery = ChildCommand::Delivery::Lines;
    AsyncRun run(parent);
    ASSERT_TRUE(run.child.start());
    ASSERT_TRUE(test::waitUntil([&] { return !run.out.isEmpty(); }));
    const qint64 grandchild = run.out.first().toLongLong();
    ASSERT_GT(grandchild, 0);
    run.child.stop();
    ASSERT_TRUE(run.finishes());
    EXPECT_TRUE(test::waitUntil([&] { return test::processEnded(grandchild); }));
}

TEST(ChildProcessStop, DestroyingARunningChildEndsItsGroupEvenWhenTermIsIgnored) {
    qint64 leader = 0;
    qint64 grandchild = 0;
    {
        ChildCommand stubborn = bash("trap '' TERM; sleep 30 & echo $!; wait");
        stubborn.grace = 200ms;
        stubborn.delivery = ChildCommand::Delivery::Lines;
        AsyncRun run(stubborn);
        ASSERT_TRUE(run.child.start());
        ASSERT_TRUE(test::waitUntil([&] { return !run.out.isEmpty(); }));
        leader = run.child.pid();
        grandchild = run.out.first().toLongLong();
    }
    EXPECT_TRUE(test::processEnded(leader));
    EXPECT_TRUE(test::waitUntil([&] { return test::processEnded(grandchild); }));
}

TEST(ChildProcessOutput, LinesSplitAtBothSeparatorsAcrossWrites) {
    // The pause makes the child's writes reach the pipe apart.
    ChildCommand command =
        bash("printf 'a\\rb'; sleep 0.2; printf 'c\\n\\nd'; printf 'e\\r\\n' >&2");
    command.delivery = ChildCommand::Delivery::Lines;
    AsyncRun run(command);
    ASSERT_TRUE(run.child.start());
    ASSERT_TRUE(run.finishes());
    EXPECT_TRUE(run.result->succeeded());
    EXPECT_EQ(run.out, QStringList({"a", "bc", "d"}));
    EXPECT_EQ(run.err, QStringList{"e"});
}

TEST(ChildProcessOutput, ChunksCarryEveryByteOfALargeOutput) {
    ChildCommand command = bash(QStringLiteral("head -c 3000000 /dev/zero | tr '\\0' x"));
    command.delivery = ChildCommand::Delivery::Chunks;
    AsyncRun run(command);
    ASSERT_TRUE(run.child.start());
    ASSERT_TRUE(run.finishes(20000));
    EXPECT_TRUE(run.result->succeeded());
    EXPECT_TRUE(run.result->output.isEmpty()); // delivered, not kept
    const QByteArray all = run.chunks.join();
    EXPECT_EQ(all.size(), 3000000);
    EXPECT_EQ(all.count('x'), 3000000);
}

TEST(LineSplitter, SplitsOnBothSeparatorsAndReassemblesAcrossChunks) {
    LineSplitter splitter;
    EXPECT_EQ(splitter.feed("file one\n  1,024  10%"), QStringList{"file one"});
    EXPECT_EQ(splitter.feed(" 1.00kB/s\r  2,048  20%\r\r\n"),
              QStringList({"  1,024  10% 1.00kB/s", "  2,048  20%"}));
    // A multi-byte character cut between two chunks survives.
    EXPECT_EQ(splitter.feed("caf\xc3"), QStringList());
    EXPECT_EQ(splitter.feed("\xa9\nbad \xff line\ntail"), QStringList{"café"});
    EXPECT_EQ(splitter.finish(), QStringList{"tail"});
    EXPECT_EQ(splitter.finish(), QStringList());
}
