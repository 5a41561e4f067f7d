#include "MoverFixture.h"

#include "mover/MoveSleepGuard.h"
#include "support/RecordingInhibitor.h"

using namespace quindle;

class SleepGuard : public test::MoverTest {};

TEST_F(SleepGuard, HeldFromTheFirstMoveUntilTheQueueIsIdle) {
    test::RecordingInhibitor inhibitor;
    makeMover();
    MoveSleepGuard guard(*mover, inhibitor);
    EXPECT_FALSE(inhibitor.held);

    test::generateTree(inHome("Projects"), {.seed = 1, .files = 6});
    const QUuid id = enqueue(inHome("Projects"), drive);
    EXPECT_TRUE(inhibitor.held);
    ASSERT_TRUE(waitUntilTerminal(id));
    EXPECT_FALSE(inhibitor.held);
    EXPECT_EQ(inhibitor.reasons, QStringList{"Quindle is moving Projects to the drive."});
}

TEST_F(SleepGuard, NamesTheMovesAndLetsGoWhileTheyWaitForTheDrive) {
    settings->setMaxConcurrent(1);
    useRsync(slowRsync(500));
    makeMover();
    for (const char *name : {"a", "b", "c", "d"})
        test::writeRandomFile(inHome(name) + "/x", 512 * 1024, 1);
    for (const char *name : {"a", "b", "c", "d"})
        enqueue(inHome(name), drive + "/Sub");
    EXPECT_EQ(MoveSleepGuard::reasonFor(*mover),
              "Quindle is moving a, b, c and 1 more to the drive.");

    test::RecordingInhibitor inhibitor;
    MoveSleepGuard guard(*mover, inhibitor);
    EXPECT_TRUE(inhibitor.held);
    QDir(drive).removeRecursively();
    volumes.fireUnmounted(drive);
    EXPECT_FALSE(inhibitor.held); // every move parked: nothing keeps the computer awake
    EXPECT_EQ(MoveSleepGuard::reasonFor(*mover), QString());
}
