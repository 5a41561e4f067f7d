// The drain against a real notification server (dunst on a bus of the test's own), and without
// one; the queue as the service writes it.
#include "NotificationServer.h"

#include "core/NotificationDrain.h"
#include "core/StatePaths.h"
#include "support/CapturedMessages.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

using namespace quindle;
using test::DunstServer;
using test::PrivateBus;
using test::readText;
using test::writeText;

namespace {

QByteArray line(const QString &title, const QString &body, const QString &sound = {}) {
    return QJsonDocument(QJsonObject{{"title", title}, {"body", body}, {"sound", sound}})
               .toJson(QJsonDocument::Compact) +
           '\n';
}

void append(const QByteArray &lines) {
    QFile queue(paths::notificationQueue());
    ASSERT_TRUE(queue.open(QIODevice::Append));
    queue.write(lines);
}

QStringList processedFiles() {
    return QDir(paths::stateDirectory())
        .entryList({"notifications.processed.*"}, QDir::Files, QDir::Name);
}

// A bus connection that never connected: no session bus at all.
QDBusConnection noBus() {
    return QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "no-bus");
}

} // namespace

class NotificationDrainTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(paths::stateDirectory()));
    }

    // The drain, its notices as they are shown, and the desktop reached through `bus`.
    struct Drain {
        explicit Drain(const QDBusConnection &bus)
            : notifier(bus) {
            QObject::connect(&engine, &NotificationDrain::shown,
                             [this](const RecentNotice &notice) { shown << notice; });
        }
        // One drain, then waits until the desktop has answered for every notice it posted.
        DrainReport once() {
            const qsizetype before = shown.size();
            DrainReport report = engine.drain();
            EXPECT_TRUE(waitUntil([&] { return shown.size() == before + report.posted.size(); }));
            return report;
        }
        platform::DesktopNotifier notifier;
        RecentNotices recent;
        NotificationDrain engine{notifier, recent};
        QList<RecentNotice> shown;
    };

    static bool waitUntil(const std::function<bool()> &condition) {
        return test::waitUntil(condition, 20000);
    }
};

// The server is real: each test starts a bus and, where it needs one, dunst.
class DesktopDrainTest : public NotificationDrainTest {
protected:
    void SetUp() override {
        NotificationDrainTest::SetUp();
        if (const std::optional<QString> missing = test::missingDesktopPrograms())
            GTEST_SKIP() << missing->toStdString();
        bus = std::make_unique<PrivateBus>();
        ASSERT_TRUE(bus->isRunning());
    }
    std::unique_ptr<PrivateBus> bus;
};

TEST_F(DesktopDrainTest, PostsEachQueuedNoticeOnceAndKeepsTheDrainedQueue) {
    DunstServer dunst(*bus);
    ASSERT_TRUE(dunst.isRunning());
    test::NotifyMonitor monitor(*bus);
    ASSERT_TRUE(monitor.isRunning());
    Drain drain(bus->connect());
    const QByteArray lines = line("Low space", "Only 3 GB are free.", "dialog-warning") +
                             "this line is no notification\n\n" + line("Quiet", "No sound here.") +
                             R"({"title":"No body"})"
                             "\n" +
                             R"({"title":"Wrong","body":7})"
                             "\n";
    append(lines);

    const DrainReport report = drain.once();
    EXPECT_EQ(report.outcome, DrainReport::Outcome::Drained);
    EXPECT_EQ(report.malformed, 3);
    EXPECT_EQ(readText(report.processedFile), lines);
    EXPECT_TRUE(QFileInfo(paths::notificationQueue()).isFile());
    EXPECT_EQ(QFileInfo(paths::notificationQueue()).size(), 0);

    const QList<test::ReceivedNotice> received = dunst.history();
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(received[0].appName, "Quindle");
    EXPECT_EQ(received[0].summary, "Low space");
    EXPECT_EQ(received[0].body, "Only 3 GB are free.");
    EXPECT_EQ(received[1].summary, "Quiet");

    const QList<test::NotifyCall> calls = monitor.calls(2);
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].icon, "quindle");
    EXPECT_EQ(calls[0].hints.value("desktop-entry"), "quindle");
    EXPECT_EQ(calls[0].hints.value("sound-name"), "dialog-warning");
    EXPECT_EQ(calls[1].hints.value("desktop-entry"), "quindle");
    EXPECT_FALSE(calls[1].hints.contains("sound-name"));

    // Drained once: the next drain finds nothing and leaves no file.
    EXPECT_EQ(drain.once().outcome, DrainReport::Outcome::Empty);
    EXPECT_EQ(processedFiles().size(), 1);
    EXPECT_EQ(dunst.received(), 2);
    EXPECT_TRUE(drain.recent.desktopShowsNotices());
    ASSERT_EQ(drain.recent.notices().size(), 2);
    EXPECT_EQ(drain.recent.notices().first().payload.title, "Quiet");
}

TEST_F(DesktopDrainTest, ABodyIsEscapedOnlyForAServerThatReadsMarkup) {
    const QString title = "Moved <report> & co";
    const QString body = "<b>a&b.pdf</b> $(rm -rf ~) `id` 'one' \"two\"";
    for (const auto markup : {DunstServer::Markup::None, DunstServer::Markup::Full}) {
        DunstServer dunst(*bus, markup);
        ASSERT_TRUE(dunst.isRunning());
        Drain drain(bus->connect());
        append(line(title, body));
        // One drain a second: the drained queue is named by the second.
        ASSERT_TRUE(
            waitUntil([&] { return drain.once().outcome == DrainReport::Outcome::Drained; }));
        const QList<test::ReceivedNotice> received = dunst.history();
        ASSERT_EQ(received.size(), 1);
        EXPECT_EQ(received[0].summary, title);
        EXPECT_EQ(received[0].body,
                  markup == DunstServer::Markup::None
                      ? body
                      : QStringLiteral("&lt;b&gt;a&amp;b.pdf&lt;/b&gt; $(rm -rf ~) `id` 'one' "
                                       "\"two\""));
    }
}

// The service's notify sub-command appends while the drain moves the queue away as fast as it
// can: every line arrives once, in order.
TEST_F(DesktopDrainTest, NotifyLoopingWhileDrainingPostsEveryLineOnce) {
    DunstServer dunst(*bus);
    ASSERT_TRUE(dunst.isRunning());
    test::ServiceSandbox::install(inHome("drive"));
    Drain drain(bus->connect());
    constexpr int count = 40;
    QProcess loop;
    loop.start("bash", {"-c",
                        "for ((i = 1; i <= $1; i++)); do bash \"$HOME/.quindle/quindle.sh\" notify "
                        "\"Notice $i\" \"Body $i\" >/dev/null || exit 1; done",
                        "loop", QString::number(count)});
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] { drain.engine.drain(); });
    ticks.start(5);
    ASSERT_TRUE(waitUntil([&] { return loop.state() == QProcess::NotRunning; }));
    ticks.stop();
    EXPECT_EQ(loop.exitCode(), 0);
    ASSERT_TRUE(waitUntil([&] {
        drain.engine.drain();
        return QFileInfo(paths::notificationQueue()).size() == 0;
    }));
    ASSERT_TRUE(waitUntil([&] { return drain.shown.size() >= count; }));

    QStringList titles;
    for (const test::ReceivedNotice &notice : dunst.history())
        titles << notice.summary;
    QStringList expected;
    for (int i = 1; i <= count; ++i)
        expected << QStringLiteral("Notice %1").arg(i);
    EXPECT_EQ(titles, expected);
    EXPECT_LE(processedFiles().size(), NotificationDrain::keptProcessedFiles);
}

// Each tick is a new service process, as after a restart: the crossing is remembered, not
// notified again.
TEST_F(DesktopDrainTest, ALowSpaceCrossingArrivesOnceAcrossTicksAndRestarts) {
    DunstServer dunst(*bus);
    ASSERT_TRUE(dunst.isRunning());
    test::ServiceSandbox::install(inHome("drive"),
                                  {"LOW_SPACE_WARN_GB=99999999", "LOW_SPACE_CRITICAL_GB=0"});
    Drain drain(bus->connect());
    for (int tick = 0; tick < 3; ++tick) {
        QString output;
        ASSERT_EQ(test::ServiceSandbox::run({"watch", "--once"}, &output), 0)
            << output.toStdString();
        ASSERT_TRUE(
            waitUntil([&] { return drain.once().outcome != DrainReport::Outcome::MoveFailed; }));
    }
    const QList<test::ReceivedNotice> received = dunst.history();
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].summary, "Internal disk is running low on space");
    EXPECT_TRUE(received[0].body.startsWith("Only "));
}

TEST_F(DesktopDrainTest, WithoutAServerTheTrayOrStandardErrorShowsEachNotice) {
    test::CapturedMessages messages;
    Drain drain(bus->connect()); // a bus on which no server runs or can be started
    QByteArray lines;
    for (int i = 1; i <= 55; ++i)
        lines += line(QStringLiteral("Notice %1").arg(i), "Line one\nline two");
    append(lines);
    ASSERT_EQ(drain.once().posted.size(), 55);
    const QStringList printed = messages.startingWith("Quindle: notification: ");
    ASSERT_EQ(printed.size(), 55);
    EXPECT_EQ(printed.first(), "Quindle: notification: Notice 1 — Line one line two");
    EXPECT_FALSE(drain.recent.desktopShowsNotices());
    ASSERT_EQ(drain.recent.notices().size(), RecentNotices::capacity);
    EXPECT_EQ(drain.recent.notices().first().payload.title, "Notice 55");
    EXPECT_EQ(drain.recent.notices().last().payload.title, "Notice 6");
    EXPECT_EQ(drain.recent.notices().first().route, NoticeRoute::StandardError);

    // Where the tray can show it, the tray does, and nothing is printed.
    QList<NotificationPayload> balloons;
    drain.engine.setFallback([&](const NotificationPayload &payload) {
        balloons << payload;
        return true;
    });
    append(line("Balloon", "Shown by the tray."));
    ASSERT_TRUE(waitUntil([&] { return drain.once().outcome == DrainReport::Outcome::Drained; }));
    ASSERT_EQ(balloons.size(), 1);
    EXPECT_EQ(balloons[0].title, "Balloon");
    EXPECT_EQ(drain.shown.last().route, NoticeRoute::TrayBalloon);
    EXPECT_EQ(messages.startingWith("Quindle: notification: ").size(), 55);

    // Once a server runs, the desktop shows notices again.
    DunstServer dunst(*bus);
    ASSERT_TRUE(dunst.isRunning());
    append(line("Back", "The desktop shows this."));
    ASSERT_TRUE(waitUntil([&] { return drain.once().outcome == DrainReport::Outcome::Drained; }));
    EXPECT_EQ(drain.shown.last().route, NoticeRoute::Desktop);
    EXPECT_TRUE(drain.recent.desktopShowsNotices());
    EXPECT_EQ(balloons.size(), 1);
}

TEST_F(NotificationDrainTest, WithoutASessionBusEachNoticeGoesToStandardError) {
    test::CapturedMessages messages;
    Drain drain(noBus());
    append(line("Alone", "No bus at all."));
    EXPECT_EQ(drain.once().outcome, DrainReport::Outcome::Drained);
    EXPECT_EQ(messages.startingWith("Quindle: notification: "),
              QStringList{"Quindle: notification: Alone — No bus at all."});
}

// While the service holds the lock, the drain leaves the queue alone and takes it next time.
TEST_F(NotificationDrainTest, AQueueBeingAppendedToWaitsForTheNextDrain) {
    Drain drain(noBus());
    const QByteArray lines = line("Held", "Queued while the lock was held.");
    append(lines);
    QProcess holder;
    const QString held = inHome("held");
    // As the service takes it: the lock lives with the descriptor, here in the one process.
    holder.start("bash", {"-c", "exec 9>>\"$0\" && flock 9 && touch \"$1\" && exec sleep 60",
                          paths::notificationLock(), held});
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(held); }));

    const DrainReport busy = drain.engine.drain();
    EXPECT_EQ(busy.outcome, DrainReport::Outcome::Busy);
    EXPECT_TRUE(busy.posted.isEmpty());
    EXPECT_EQ(readText(paths::notificationQueue()), lines);
    EXPECT_TRUE(processedFiles().isEmpty());

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished());
    const DrainReport drained = drain.once();
    EXPECT_EQ(drained.outcome, DrainReport::Outcome::Drained);
    EXPECT_EQ(drain.shown.size(), 1);
}

// The drained queue's name is taken (a drain earlier in the same second): nothing is posted, the
// queue stays, and no earlier file is overwritten.
TEST_F(NotificationDrainTest, AMoveThatFailsPostsNothingAndOverwritesNothing) {
    Drain drain(noBus());
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QStringList taken;
    for (qint64 second = now - 1; second <= now + 30; ++second) {
        taken << paths::processedNotifications() + QString::number(second);
        writeText(taken.last(), "drained earlier\n");
    }
    const QByteArray lines = line("Waiting", "Posted once the name is free.");
    append(lines);

    const DrainReport failed = drain.engine.drain();
    ASSERT_EQ(failed.outcome, DrainReport::Outcome::MoveFailed);
    EXPECT_TRUE(failed.error.contains(paths::notificationQueue())) << failed.error.toStdString();
    EXPECT_TRUE(failed.posted.isEmpty());
    EXPECT_EQ(readText(paths::notificationQueue()), lines);
    for (const QString &file : taken)
        EXPECT_EQ(readText(file), "drained earlier\n");

    for (const QString &file : taken)
        QFile::remove(file);
    EXPECT_EQ(drain.once().outcome, DrainReport::Outcome::Drained);
    EXPECT_EQ(drain.shown.size(), 1);
}

// File names can be any bytes, so a line can be any bytes: such a line is skipped with one
// diagnostic, and blocks neither its neighbours nor later queues.
TEST_F(NotificationDrainTest, LinesThatAreNotUtf8AreSkippedAndTheQueueMovesOn) {
    test::CapturedMessages messages;
    Drain drain(noBus());
    const QByteArray lines = line("Before", "Fine.") +
                             "{\"title\":\"Moved \xff\xfe.txt\",\"body\":\"x\"}\n" +
                             line("After", "Fine too.") + "\xc3\x28 stray bytes\n";
    append(lines);

    const DrainReport report = drain.once();
    EXPECT_EQ(report.outcome, DrainReport::Outcome::Drained);
    EXPECT_EQ(report.undecodable, 2);
    ASSERT_EQ(report.posted.size(), 2);
    EXPECT_EQ(report.posted[1].title, "After");
    EXPECT_EQ(readText(report.processedFile), lines);
    const QStringList diagnostics = messages.startingWith("Quindle: skipped");
    ASSERT_EQ(diagnostics.size(), 1);
    EXPECT_TRUE(diagnostics[0].contains(report.processedFile));

    append(line("Later", "Still posted."));
    ASSERT_TRUE(waitUntil([&] { return drain.once().outcome == DrainReport::Outcome::Drained; }));
    EXPECT_EQ(drain.shown.last().payload.title, "Later");
}

TEST_F(NotificationDrainTest, KeepsTheTwentyNewestDrainedQueues) {
    Drain drain(noBus());
    for (int second = 1000; second < 1025; ++second)
        writeText(paths::processedNotifications() + QString::number(second), "old\n");
    writeText(paths::processedNotifications() + "notes", "not ours to prune\n");
    append(line("New", "Drained now."));
    const DrainReport report = drain.once();
    ASSERT_EQ(report.outcome, DrainReport::Outcome::Drained);

    QStringList expected;
    for (int second = 1006; second < 1025; ++second)
        expected << QStringLiteral("notifications.processed.%1").arg(second);
    expected << QFileInfo(report.processedFile).fileName() << "notifications.processed.notes";
    QStringList remaining = processedFiles();
    std::sort(remaining.begin(), remaining.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(remaining, expected);
}
