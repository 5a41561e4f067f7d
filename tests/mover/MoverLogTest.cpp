#include "mover/MoverLog.h"

#include <gtest/gtest.h>

using namespace quindle;

namespace {

MoverLogLine lineAt(MoverLogLine::Source source, std::optional<QUuid> job, const QString &text) {
    return MoverLogLine{QUuid::createUuid(), QDateTime(QDate(2024, 3, 5), QTime(9, 7, 3, 45)), job,
                        source, text};
}

} // namespace

TEST(MoverLog, KeepsTheNewest2000LinesAndAnnouncesEveryChange) {
    MoverLog log;
    int changes = 0;
    QObject::connect(&log, &MoverLog::linesChanged, [&] { ++changes; });
    const QUuid job = QUuid::createUuid();
    for (int i = 0; i <= MoverLog::maxLines; ++i)
        log.append(MoverLogLine::Source::RsyncStdout, QString::number(i), job);

    ASSERT_EQ(log.lines().size(), 2000);
    EXPECT_EQ(log.lines().first().text, "1");
    EXPECT_EQ(log.lines().last().text, "2000");
    EXPECT_EQ(log.lines().last().jobID, job);
    EXPECT_NE(log.lines().first().id, log.lines().last().id);
    EXPECT_LE(log.lines().first().timestamp, log.lines().last().timestamp);
    EXPECT_EQ(changes, 2001);

    log.clear();
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(changes, 2002);
    EXPECT_EQ(log.renderedText(), QString());
}

TEST(MoverLog, RendersTheSourceEightWideAndTheShortJobId) {
    const QUuid job("1a2b3c4d-0000-4000-8000-00000000abcd");
    const struct {
        MoverLogLine::Source source;
        const char *expected;
    } rows[] = {
        {MoverLogLine::Source::RsyncStdout, "09:07:03.045 [rsync   ] [1A2B3C4D] text"},
        {MoverLogLine::Source::RsyncStderr, "09:07:03.045 [rsync!  ] [1A2B3C4D] text"},
        {MoverLogLine::Source::Enqueue, "09:07:03.045 [enqueue ] [1A2B3C4D] text"},
        {MoverLogLine::Source::Command, "09:07:03.045 [command ] [1A2B3C4D] text"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(lineAt(row.source, job, "text").rendered(), QString::fromUtf8(row.expected));

    EXPECT_EQ(lineAt(MoverLogLine::Source::Info, std::nullopt, "noop: x → y").rendered(),
              "09:07:03.045 [info    ] [--------] noop: x → y");
}

TEST(MoverLog, CopyTextJoinsRenderedLinesAndCountsThem) {
    MoverLog log;
    log.append(MoverLogLine::Source::Command, "/usr/bin/rsync -aHX a b");
    log.append(MoverLogLine::Source::Info, "rsync exited with code 0");
    EXPECT_EQ(log.renderedText(), log.lines()[0].rendered() + u'\n' + log.lines()[1].rendered());
    EXPECT_TRUE(
        log.lines()[0].rendered().endsWith(" [command ] [--------] /usr/bin/rsync -aHX a b"));

    EXPECT_EQ(MoverLog::copiedMessage(1), "1 log line copied to clipboard.");
    EXPECT_EQ(MoverLog::copiedMessage(0), "0 log lines copied to clipboard.");
    EXPECT_EQ(MoverLog::copiedMessage(2000), "2000 log lines copied to clipboard.");
}
