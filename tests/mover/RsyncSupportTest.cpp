#include "mover/RsyncSupport.h"
#include "mover/ProcessRunner.h"
#include "mover/RsyncProgress.h"
#include "support/FakeExecutables.h"
#include "support/TempHome.h"
#include "support/TreeGenerator.h"
#include "support/WaitUntil.h"

#include <QProcess>
#include <QThread>

using namespace quindle;

namespace {
QByteArray versionScript(const QByteArray &text) {
    return "cat <<'EOF'\n" + text + "\nEOF";
}
} // namespace

class RsyncProbe : public test::TempHomeTest {
protected:
    test::FakeExecutables fakes;
};

TEST_F(RsyncProbe, AcceptsOnlyGnuThreeOrFour) {
    const struct {
        const char *name;
        QByteArray output;
        bool accepted;
        int major, minor, patch;
    } cases[] = {
        {"gnu327", "rsync  version 3.2.7  protocol version 31\nCopyright", true, 3, 2, 7},
        {"gnu4", "rsync  version 4.0  protocol version 33", true, 4, 0, 0},
        {"openrsync", "openrsync: protocol version 29\nrsync version 3.2.7 compatible", false, 0, 0,
         0},
        {"gnu2", "rsync  version 2.6.9  protocol version 29", false, 0, 0, 0},
        {"other", "not the program you want", false, 0, 0, 0},
        // Says rsync and version 3. somewhere, but the first line has no version: taken as 3.0.0.
        {"odd", "Rsync build for testing\nrsync version 3.1", true, 3, 0, 0},
    };
    for (const auto &c : cases) {
        const QString path = fakes.add(QString::fromLatin1(c.name), versionScript(c.output));
        const std::optional<RsyncSupport> support = RsyncSupport::acceptIfGNUv3(path);
        ASSERT_EQ(support.has_value(), c.accepted) << c.name;
        if (!support)
            continue;
        EXPECT_EQ(support->executablePath, path);
        EXPECT_EQ(support->versionString,
                  QString::fromUtf8(c.output.split('\n').first().trimmed()));
        EXPECT_EQ(std::tuple(support->major, support->minor, support->patch),
                  std::tuple(c.major, c.minor, c.patch))
            << c.name;
    }
    EXPECT_EQ(RsyncSupport::acceptIfGNUv3(fakes.directory() + "/missing"), std::nullopt);
}

TEST_F(RsyncProbe, ProbeTakesTheFirstAcceptableCandidate) {
    const QString open = fakes.add("a", versionScript("openrsync version 3.0"));
    const QString gnu = fakes.add("b", versionScript("rsync  version 3.2.3  protocol version 31"));
    const QString later =
        fakes.add("c", versionScript("rsync  version 3.4.1  protocol version 32"));
    setEnv("QUINDLE_RSYNC", QStringList({fakes.directory() + "/none", open, gnu, later}).join(':'));
    ASSERT_TRUE(RsyncSupport::probe().has_value());
    EXPECT_EQ(RsyncSupport::probe()->executablePath, gnu);
    setEnv("QUINDLE_RSYNC", open);
    EXPECT_EQ(RsyncSupport::probe(), std::nullopt);
}

TEST(RsyncArguments, FollowTheVersionAndTheCrtimesCapability) {
    const auto withVersion = [](const char *text) {
        return *RsyncSupport::fromVersionOutput("/r", QString::fromUtf8(text));
    };
    const QStringList base{"-aHEX", "-v", "--info=progress2", "--no-inc-recursive"};
    const auto expected = [&](const QStringList &tail) { return base + tail; };
    EXPECT_EQ(withVersion("rsync  version 3.2.3").arguments("/s", "/d", false),
              expected({"/s/", "/d/"}));
    EXPECT_EQ(withVersion("rsync  version 3.2.7").arguments("/s", "/d", false),
              expected({"--crtimes", "--atimes", "/s/", "/d/"}));
    EXPECT_EQ(
        withVersion("rsync  version 3.3.0\n    atimes, no crtimes\n").arguments("/s", "/d", true),
        expected({"--atimes", "--inplace", "/s/", "/d/"}));
    EXPECT_EQ(withVersion("rsync  version 3.2.3").arguments("/f.txt", "/d/f.txt", false, false),
              expected({"/f.txt", "/d/f.txt"}));
    EXPECT_EQ(withVersion("rsync  version 4.0").arguments("/a b", "/c", false).mid(4, 2),
              QStringList({"--crtimes", "--atimes"}));
}

TEST_F(RsyncProbe, TheRealRsyncIsAcceptedAndItsArgumentsWork) {
    const std::optional<RsyncSupport> rsync = RsyncSupport::acceptIfGNUv3("/usr/bin/rsync");
    ASSERT_TRUE(rsync.has_value());
    test::generateTree(inHome("src"));
    // Whatever the version says about --crtimes, the vector must be one this rsync runs with.
    const int status = runProcessAsync(rsync->executablePath,
                                       rsync->arguments(inHome("src"), inHome("dst"), false));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::treeDigest(inHome("src")), test::treeDigest(inHome("dst")));
}

TEST(RsyncProgressParser, ReadsTheProgressColumnOnly) {
    // Lines as printed by rsync 3.5 with --info=progress2 -v.
    const struct {
        const char *line;
        std::optional<double> fraction;
    } cases[] = {
        {"         32,768   0%    0.00kB/s    0:00:00  ", 0.0},
        {"     30,000,000  99%  772.40MB/s    0:00:00 (xfr#1, to-chk=2/4)", 0.99},
        {"     30,000,003 100%  772.40MB/s    0:00:00 (xfr#2, to-chk=0/4)", 1.0},
        {"  1,234  250%  1.00MB/s  0:00:01", 1.0},
        {"  512  7%", 0.07},
        {"sending incremental file list", std::nullopt},
        {"building file list ... done", std::nullopt},
        {"report 50% done.txt", std::nullopt},
        {"sub/50% off/", std::nullopt},
        {"sent 30,007,512 bytes  received 53 bytes  60,015,130.00 bytes/sec", std::nullopt},
        {"total size is 30,000,003  speedup is 1.00", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseRsyncProgress(QString::fromUtf8(c.line)), c.fraction) << c.line;
}

class RsyncLiveProgress : public test::TempHomeTest {};

TEST_F(RsyncLiveProgress, ARealRunReportsRisingFractionsEndingAtOne) {
    test::writeRandomFile(inHome("src/big one"), 8 * 1024 * 1024, 3);
    test::writeRandomFile(inHome("src/sub/small"), 1000, 4);
    const std::optional<RsyncSupport> rsync = RsyncSupport::acceptIfGNUv3("/usr/bin/rsync");
    ASSERT_TRUE(rsync.has_value());
    StreamedProcess process;
    QList<double> fractions;
    QStringList others;
    std::optional<int> status;
    QObject::connect(&process, &StreamedProcess::standardOutputLine, [&](const QString &line) {
        if (const std::optional<double> f = parseRsyncProgress(line))
            fractions << *f;
        else
            others << line;
    });
    QObject::connect(&process, &StreamedProcess::finished, [&](int s) { status = s; });
    ASSERT_TRUE(process.start(rsync->executablePath,
                              rsync->arguments(inHome("src"), inHome("dst"), false)));
    ASSERT_TRUE(test::waitUntil([&] { return status.has_value(); }, 30000));
    EXPECT_EQ(*status, 0);
    ASSERT_FALSE(fractions.isEmpty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_EQ(fractions.last(), 1.0);
    EXPECT_TRUE(others.contains("big one"));
    EXPECT_TRUE(others.contains("sub/small"));
}

TEST(RsyncProbeCache, FirstProbeThenReprobeOnTheCallersThread) {
    EXPECT_EQ(RsyncSupport::current(), std::nullopt);
    RsyncSupport::startProbeIfNeeded();
    RsyncSupport::startProbeIfNeeded();
    RsyncSupport::waitForProbe();
    EXPECT_TRUE(RsyncSupport::isReady());
    ASSERT_TRUE(RsyncSupport::current().has_value());

    QObject context;
    bool completed = false;
    qputenv("QUINDLE_RSYNC", "/nonexistent/rsync");
    RsyncSupport::reprobe(&context, [&] {
        EXPECT_EQ(QThread::currentThread(), context.thread());
        completed = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return completed; }));
    qunsetenv("QUINDLE_RSYNC");
    EXPECT_EQ(RsyncSupport::current(), std::nullopt);
    EXPECT_TRUE(RsyncSupport::isReady());
}
