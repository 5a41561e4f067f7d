#include "mover/ProcessRunner.h"
#include "support/ProcessState.h"
#include "support/TempHome.h"
#include "support/TreeGenerator.h"
#include "support/Unprivileged.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>

#include <csignal>

using namespace quindle;

class ProcessRunner : public test::TempHomeTest {};

TEST_F(ProcessRunner, ReportsExitStatusAndMinusOneWhenTheProgramCannotStart) {
    EXPECT_EQ(runProcessAsync("/bin/bash", {"-c", "exit 3"}), 3);
    EXPECT_EQ(runProcessAsync("/bin/true", {}), 0);
    EXPECT_EQ(runProcessAsync("/no/such/program", {}), -1);
    // Much more output than a pipe holds must not stall the child.
    EXPECT_EQ(runProcessAsync("/bin/bash", {"-c", "head -c 5000000 /dev/zero; exit 0"}), 0);
}

TEST_F(ProcessRunner, DuMeasuresARealTreeInKiB) {
    const QString root = inHome("tree");
    test::writeRandomFile(root + "/a", 300 * 1024, 1);
    test::writeRandomFile(root + "/sub/b", 200 * 1024, 2);
    const std::optional<qint64> kb = duKBAsync(root);
    ASSERT_TRUE(kb.has_value());
    EXPECT_GE(*kb, 500);
    EXPECT_LT(*kb, 600);
    EXPECT_EQ(duKBAsync(inHome("does-not-exist")), std::nullopt);
}

TEST_F(ProcessRunner, DuGivesNothingForAPartlyUnreadableTree) {
    // The tree lives outside the private temporary home so the unprivileged child can reach it.
    QTemporaryDir shared("/tmp/quindle-du-XXXXXX");
    QFile::setPermissions(shared.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadOther | QFile::ExeOther);
    test::writeRandomFile(shared.path() + "/readable/a", 4096, 1);
    test::writeRandomFile(shared.path() + "/closed/b", 4096, 2);
    QFile::setPermissions(shared.path() + "/readable",
                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(shared.path() + "/closed", QFile::ReadOwner | QFile::ExeOwner);

    const QString root = shared.path();
    EXPECT_EQ(test::runUnprivileged([&] { return duKBAsync(root + "/readable") ? 1 : 0; }), 1);
    EXPECT_EQ(test::runUnprivileged([&] { return duKBAsync(root) ? 1 : 0; }), 0);
}

TEST(CommandLineText, QuotesOnlyArgumentsWithSpaces) {
    EXPECT_EQ(formatCommandLine("/bin/rm", {"-rf", "/a/b"}), "/bin/rm -rf /a/b");
    EXPECT_EQ(formatCommandLine("/usr/bin/rsync", {"-v", "/My Files/say \"hi\"/"}),
              R"(/usr/bin/rsync -v "/My Files/say \"hi\"/")");
    EXPECT_EQ(formatCommandLine("x", {"it's\""}), "x it's\"");
}

TEST(StreamedProcess, DeliversLinesOfBothStreamsAndTheExitStatus) {
    StreamedProcess process;
    QStringList out;
    QStringList err;
    std::optional<int> status;
    QObject::connect(&process, &StreamedProcess::standardOutputLine,
                     [&](const QString &l) { out << l; });
    QObject::connect(&process, &StreamedProcess::standardErrorLine,
                     [&](const QString &l) { err << l; });
    QObject::connect(&process, &StreamedProcess::finished, [&](int s) { status = s; });
    ASSERT_TRUE(process.start("/bin/bash",
                              {"-c", "printf 'a\\rb\\n'; echo oops >&2; printf last; exit 7"}));
    EXPECT_GT(process.pid(), 0);
    ASSERT_TRUE(test::waitUntil([&] { return status.has_value(); }));
    EXPECT_EQ(*status, 7);
    EXPECT_EQ(out, QStringList({"a", "b", "last"}));
    EXPECT_EQ(err, QStringList{"oops"});
}

TEST(StreamedProcess, ATerminatedRunNeverReportsSuccess) {
    StreamedProcess process;
    std::optional<int> status;
    QObject::connect(&process, &StreamedProcess::finished, [&](int s) { status = s; });
    ASSERT_TRUE(process.start("/bin/sleep", {"30"}));
    process.terminate();
    ASSERT_TRUE(test::waitUntil([&] { return status.has_value(); }));
    EXPECT_EQ(*status, 128 + SIGTERM);
    StreamedProcess missing;
    EXPECT_FALSE(missing.start("/no/such/program", {}));
    EXPECT_FALSE(missing.errorString().isEmpty());
}

TEST(StreamedProcess, DestroyingItEndsTheChildAndWhatItStarted) {
    qint64 grandchild = 0;
    {
        StreamedProcess process;
        QObject::connect(&process, &StreamedProcess::standardOutputLine,
                         [&](const QString &line) { grandchild = line.toLongLong(); });
        ASSERT_TRUE(process.start("/bin/bash", {"-c", "sleep 30 & echo $!; wait"}));
        ASSERT_TRUE(test::waitUntil([&] { return grandchild > 0; }));
    }
    EXPECT_TRUE(test::waitUntil([&] { return test::processEnded(grandchild); }));
}
