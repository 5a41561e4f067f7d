// `quindle notifications drain` as a person runs it, after a rule or script queued a notice with
// the service's notify sub-command.
#include "NotificationServer.h"

#include "core/StatePaths.h"
#include "support/CommandRun.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"

#include <QFileInfo>

using namespace quindle;
using test::CommandRun;

class NotificationsCommand : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        if (const std::optional<QString> missing = test::missingDesktopPrograms())
            GTEST_SKIP() << missing->toStdString();
        bus = std::make_unique<test::PrivateBus>();
        ASSERT_TRUE(bus->isRunning());
        test::ServiceSandbox::install(inHome("drive"));
    }
    CommandRun quindle(const QStringList &arguments) {
        return test::runCommand(QStringLiteral(QUINDLE_BINARY), arguments, bus->environment());
    }
    std::unique_ptr<test::PrivateBus> bus;
};

TEST_F(NotificationsCommand, ANoticeQueuedByTheServiceReachesTheDesktop) {
    test::DunstServer dunst(*bus);
    ASSERT_TRUE(dunst.isRunning());
    const QString title = "Quindle's rules pass met a problem";
    const QString body = "Could not move ~/Downloads/<big> & \"old\" $(files).";
    QString output;
    ASSERT_EQ(test::ServiceSandbox::run({"notify", title, body, "dialog-warning"}, &output), 0)
        << output.toStdString();

    const CommandRun drained = quindle({"notifications", "drain"});
    EXPECT_EQ(drained.status, 0) << drained.err.toStdString();
    EXPECT_TRUE(drained.out.startsWith(
        QStringLiteral("Posted “%1” to the desktop's notification server.\n").arg(title)))
        << drained.out.toStdString();
    EXPECT_TRUE(
        drained.out.contains("The drained queue is kept as " + paths::processedNotifications()));
    const QList<test::ReceivedNotice> received = dunst.history();
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].appName, "Quindle");
    EXPECT_EQ(received[0].summary, title);
    EXPECT_EQ(received[0].body, body);

    const CommandRun again = quindle({"notifications", "drain"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "The notification queue is empty, so nothing was posted.\n");
}

TEST_F(NotificationsCommand, WithoutAServerItSaysWhereTheNoticeWent) {
    ASSERT_EQ(test::ServiceSandbox::run({"notify", "Backup finished", "All 3 folders are saved."}),
              0);
    const CommandRun drained = quindle({"notifications", "drain"});
    EXPECT_EQ(drained.status, 0);
    EXPECT_TRUE(drained.out.startsWith("No notification server could show “Backup finished”, so "
                                       "it went to standard error.\n"))
        << drained.out.toStdString();
    EXPECT_TRUE(
        drained.err.contains("Quindle: notification: Backup finished — All 3 folders are saved."));

    EXPECT_EQ(test::ServiceSandbox::run({"notify", "A title alone"}), 2);
    EXPECT_EQ(quindle({"notifications"}).status, 2);
}
