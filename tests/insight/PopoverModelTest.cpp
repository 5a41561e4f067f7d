#include "insight/PopoverModel.h"
#include "core/ServiceScripts.h"
#include "platform/DesktopNouns.h"
#include "shell/ShellFixture.h"

#include <tuple>

using namespace quindle;
using M = PopoverModel;

namespace {

ServiceStatus status(bool paused, bool mounted) {
    ServiceStatus s;
    s.paused = paused;
    s.mounted = mounted;
    s.marker_ok = true;
    return s;
}

MoveJob job(MovePhase phase) {
    MoveJob j;
    j.manifest.phase = phase;
    return j;
}

} // namespace

TEST(PopoverRules, CommandsNeverRunTwiceAndRuleRunsNeedAnActiveServiceAndTheDrive) {
    const QString confirmedRollback = M::confirmedRollback;
    const std::tuple<QString, bool, bool, QStringList, bool> cases[] = {
        // command, paused, mounted, in flight, enabled
        {service::relocateNow, false, true, {}, true},
        {service::relocateNow, true, true, {}, false},
        {service::dryRun, false, false, {}, false},
        {service::dryRun, false, true, {service::dryRun}, false},
        {service::dryRun, false, true, {service::relocateNow}, true},
        // Pausing and resuming are one button: either in flight rests it.
        {service::pause, true, false, {}, true},
        {service::pause, false, true, {service::resume}, false},
        {service::pause, true, true, {service::pause}, false},
        // Rollback runs as its confirmed form; the bare name is never in flight.
        {service::rollback, false, true, {service::rollback}, true},
        {service::rollback, false, true, {confirmedRollback}, false},
        // Drive commands work paused and unplugged.
        {service::remount, true, false, {}, true},
        {service::ejectNVMe, true, false, {service::ejectNVMe}, false},
        {StatusModel::stopKey, false, false, {StatusModel::startKey}, true},
        {StatusModel::stopKey, false, true, {StatusModel::stopKey}, false},
    };
    for (const auto &[command, paused, mounted, inFlight, enabled] : cases)
        EXPECT_EQ(M::commandEnabled(command, status(paused, mounted), inFlight), enabled)
            << command.toStdString() << " paused " << paused << " mounted " << mounted << " with "
            << inFlight.join(", ").toStdString();
}

TEST(PopoverRules, OnlyRollbackAndEjectAskFirst) {
    const std::optional<Confirmation> rollback = M::confirmation(service::rollback, "/d");
    ASSERT_TRUE(rollback);
    EXPECT_EQ(rollback->command, "rollback --yes");
    const std::optional<Confirmation> eject = M::confirmation(service::ejectNVMe, "/run/media/NV");
    ASSERT_TRUE(eject);
    EXPECT_EQ(eject->command, service::ejectNVMe);
    EXPECT_TRUE(eject->text.startsWith("This will:\n  • Pause automatic actions\n  • Quit " +
                                       platform::driveDependentTools() +
                                       "\n  • Unmount /run/media/NV\n\n"));
    for (const QString &command : {service::pause, service::dryRun, service::remount,
                                   service::relocateNow, StatusModel::stopKey})
        EXPECT_FALSE(M::confirmation(command, "/d")) << command.toStdString();
}

TEST(PopoverRules, MovesCountRunningAndParkedJobsButNotFinishedOnes) {
    using P = MovePhase;
    const std::tuple<QList<P>, MoveCounts, QString> cases[] = {
        {{}, {0, 0}, ""},
        {{P::Done, P::Failed, P::Cancelled}, {0, 0}, ""},
        {{P::Copying}, {1, 0}, "1 move in progress"},
        {{P::Writing, P::Hashing, P::Verifying, P::CleaningUp}, {4, 0}, "4 moves in progress"},
        {{P::WaitingForDrive, P::Done}, {0, 1}, "1 waiting for the drive"},
        {{P::Copying, P::WaitingForDrive, P::WaitingForDrive, P::Copying},
         {2, 2},
         "2 moves in progress · 2 waiting for the drive"},
    };
    for (const auto &[phases, counts, text] : cases) {
        QList<MoveJob> jobs;
        for (const P phase : phases)
            jobs << job(phase);
        EXPECT_EQ(M::countMoves(jobs), counts) << text.toStdString();
        EXPECT_EQ(M::movesText(counts), text);
    }
}

TEST(PopoverRules, ThePageFollowsTheFirstMissingPieceAndOnlyActionablePagesHaveAButton) {
    using P = M::Page;
    const std::tuple<bool, bool, bool, P, QString> cases[] = {
        {false, true, true, P::NotInstalled, "Run Setup…"},
        {false, false, false, P::NotInstalled, "Run Setup…"},
        {true, false, true, P::NotLoaded, "Start Service"},
        {true, true, false, P::WaitingForStatus, ""},
        {true, true, true, P::Status, ""},
    };
    for (const auto &[installed, loaded, hasStatus, page, button] : cases) {
        EXPECT_EQ(M::page(installed, loaded, hasStatus), page) << installed << loaded << hasStatus;
        EXPECT_EQ(M::messageButton(page), button);
    }
    EXPECT_TRUE(M::messageText(P::Status).isEmpty());
}

TEST(PopoverTexts, DisksIdleTimeAndPower) {
    constexpr qint64 GB = 1'000'000'000;
    constexpr qint64 MB = 1'000'000;
    EXPECT_EQ(M::disk(M::space(std::nullopt, 41, 494)),
              (DiskFigures{"41 GB free", "453 / 494 GB used", 917}));
    EXPECT_EQ(M::disk(M::space(std::nullopt, std::nullopt, 494)).free, "Not mounted");
    EXPECT_EQ(M::disk(M::space(std::nullopt, 0, 0)).free, "Not mounted");
    EXPECT_EQ(M::disk(M::space(std::nullopt, 600, 500)).usedPermille, 0)
        << "a stale total never shows negative use";
    // A measurement is finer than the service's whole GB: small drives read as they are.
    EXPECT_EQ(M::disk(M::space(VolumeSpace{200 * MB, 271 * MB}, 0, 0)),
              (DiskFigures{"200 MB free", "71 / 271 MB used", 261}));
    EXPECT_EQ(M::disk(VolumeSpace{3'960 * MB, 4 * GB}),
              (DiskFigures{"4.0 GB free", "40 MB / 4.0 GB used", 10}));

    const std::pair<qint64, const char *> idle[] = {{0, "0 s"},          {59, "59 s"},
                                                    {60, "1 min"},       {3599, "59 min"},
                                                    {3600, "1 h 0 min"}, {7322, "2 h 2 min"}};
    for (const auto &[seconds, text] : idle)
        EXPECT_EQ(M::idleText(seconds), text);

    ServiceStatus s;
    EXPECT_EQ(M::powerText(s), "AC power");
    s.on_battery = true;
    s.battery_pct = 57;
    EXPECT_EQ(M::powerText(s), "On battery — 57 %");
    EXPECT_EQ(M::lastRunText(std::nullopt), "Not yet");
    EXPECT_EQ(M::lastRunText("yesterday"), "yesterday") << "shown as written";
}

TEST(PopoverTexts, TheDriveRowSaysWhatIsWrongFirst) {
    ServiceStatus s = status(false, false);
    s.nvme_path = "/run/media/me/NVMe";
    EXPECT_EQ(M::driveText(s), "Disconnected");
    s.mounted = true;
    s.marker_ok = false;
    EXPECT_EQ(M::driveText(s), "Mounted but marker missing");
    s.marker_ok = true;
    EXPECT_EQ(M::driveText(s), "Mounted at /run/media/me/NVMe");

    s.auto_enabled = true;
    s.paused = true;
    EXPECT_EQ(M::autoActionsText(s), "Paused");
    s.paused = false;
    EXPECT_EQ(M::autoActionsText(s), "Enabled");

    s.low_space_warn_gb = 40;
    s.low_space_critical_gb = 15;
    const std::pair<qint64, M::SpaceLevel> levels[] = {
        {41, M::SpaceLevel::Normal}, {40, M::SpaceLevel::Low}, {15, M::SpaceLevel::Critical}};
    for (const auto &[free, level] : levels) {
        s.internal_free_gb = free;
        EXPECT_EQ(M::internalSpace(s), level) << free;
    }
}

class PopoverModelTest : public test::ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        popover = std::make_unique<PopoverModel>(*model, *mover);
    }
    void press(const QString &command) {
        const qsizetype before = ran().size();
        popover->press(command);
        ASSERT_TRUE(test::waitUntil(
            [&] { return ran().size() > before && model->actionsInFlight().isEmpty(); }));
    }
    std::unique_ptr<PopoverModel> popover;
};

TEST_F(PopoverModelTest, ClearedOutputComesBackWithTheNextActionEvenWhenItSaysTheSame) {
    setStatus({});
    press(service::pause);
    EXPECT_EQ(popover->output(), "did pause");
    popover->clearOutput();
    EXPECT_EQ(popover->output(), "");
    EXPECT_EQ(popover->fullOutput(), "did pause") << "the clipboard still gets it";

    setStatus({{"paused", true}});
    press(service::pause);
    EXPECT_EQ(popover->output(), "did resume");
    setStatus({{"paused", false}});
    press(service::pause);
    EXPECT_EQ(popover->output(), "did pause") << "the same text as the cleared one, but new";
    EXPECT_EQ(ran(), QStringList({"pause", "resume", "pause"}));
}

TEST_F(PopoverModelTest, AskingFirstRunsTheConfirmedFormOnlyWhenAgreed) {
    setStatus({});
    QStringList asked;
    popover->press(service::rollback, [&](const Confirmation &ask, const auto &) {
        asked << ask.title; // and never agrees
    });
    popover->press(service::ejectNVMe); // nobody to ask: nothing runs
    EXPECT_EQ(asked, QStringList{"Roll back the last batch?"});
    popover->press(service::rollback,
                   [](const Confirmation &, const std::function<void()> &agreed) { agreed(); });
    ASSERT_TRUE(test::waitUntil([&] { return !ran().isEmpty(); }));
    EXPECT_EQ(ran(), QStringList{"rollback --yes"});
}
