#include "core/PreferencesModel.h"
#include "config/BashReader.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

using namespace quindle;
using test::readText;
using test::writeText;

namespace {

const QStringList kOwnedKeys{
    "QUIET_MODE",         "QUIET_HOURS_BLOCKED",     "IDLE_THRESHOLD_SECS",
    "SMART_IDLE_MINUTES", "SMART_MIN_BATTERY",       "SMART_RESPECT_MEETINGS",
    "NOTIFY_ON_OK_RUN",   "DISABLE_DELETE",          "MIN_ARCHIVE_DAYS",
    "MIN_DELETE_DAYS",    "MIN_AGE_HARD_FLOOR_DAYS", "OPTIMISE_CLOUD_PROVIDERS",
    "INCLUDE_CLOUD_EVICT"};

} // namespace

class PreferencesTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        model = std::make_unique<PreferencesModel>();
        path = model->config().path();
        writeText(path, "# Quindle configuration\nNVMe=\"/media/u/NVMe\"\nRULES=()\n");
    }
    // Waits for the write a change scheduled.
    bool savedOnce(QSignalSpy &saved) {
        return test::waitUntil([&] { return saved.count() >= 1 && !model->isSavePending(); }) &&
               saved.count() == 1;
    }

    std::unique_ptr<PreferencesModel> model;
    QString path;
};

TEST_F(PreferencesTest, ABurstOfChangesIsOneWriteOfEveryKeyThatBashReadsBack) {
    model->load();
    QSignalSpy saved(model.get(), &PreferencesModel::saved);
    const QString range = "9-12,14-18";
    for (qsizetype typed = 1; typed <= range.size(); ++typed)
        model->change([&](Preferences &p) { p.scheduleRange = range.left(typed); });
    model->change([](Preferences &p) { p.disableDelete = true; });
    EXPECT_TRUE(model->isSavePending());
    EXPECT_EQ(readText(path), "# Quindle configuration\nNVMe=\"/media/u/NVMe\"\nRULES=()\n");

    ASSERT_TRUE(savedOnce(saved));
    EXPECT_TRUE(readText(path).contains("\nQUIET_HOURS_BLOCKED=\"9-12,14-18\"\n"));
    EXPECT_EQ(model->savedFeedback(), "Saved · daemon picks this up within 30s");
    const test::Sourced sourced = test::sourceWithBash(path, kOwnedKeys);
    EXPECT_EQ(sourced.errors, QString());
    QMap<QString, QStringList> expected;
    for (const auto &[key, value] : model->values().configValues())
        expected.insert(key, {value});
    EXPECT_EQ(sourced.values, expected);
    EXPECT_EQ(sourced.values.value("DISABLE_DELETE"), QStringList{"1"});
    EXPECT_EQ(sourced.values.value("INCLUDE_CLOUD_EVICT"), QStringList{"0"});

    // The confirmation goes away by itself.
    ASSERT_TRUE(test::waitUntil([&] { return !model->savedFeedback(); }, 5000));
}

TEST_F(PreferencesTest, ValuesAreReadAsTheServiceTakesThem) {
    writeText(path, "export SMART_MIN_BATTERY=20 # note\n"
                    "SMART_RESPECT_MEETINGS=TRUE\n"
                    "NOTIFY_ON_OK_RUN=yes\n"
                    "DISABLE_DELETE=\"1\"\n"
                    "IDLE_THRESHOLD_SECS=+0042\n"
                    "SMART_IDLE_MINUTES=soon\n"
                    "MIN_AGE_HARD_FLOOR_DAYS=0\n"
                    "MIN_ARCHIVE_DAYS=-3\n"
                    "QUIET_MODE=sometimes\n"
                    "QUIET_HOURS_BLOCKED=\"22-6, 13\"\n"
                    "OPTIMISE_CLOUD_PROVIDERS=\" pCloud, Dropbox,,pCloud \"\n"
                    "MIN_DELETE_DAYS=30\n"
                    "MIN_DELETE_DAYS=99\n");
    model->load();
    const Preferences &v = model->values();
    EXPECT_EQ(v.smartMinBattery, 20);
    EXPECT_TRUE(v.smartRespectMeetings);
    EXPECT_FALSE(v.notifyOnOkRun); // only 1 and true are true
    EXPECT_TRUE(v.disableDelete);
    EXPECT_EQ(v.idleThresholdSecs, 42);
    // What the service could not take leaves its default, as it does there.
    EXPECT_EQ(v.smartIdleMinutes, 5);
    EXPECT_EQ(v.hardFloorDays, 7);
    EXPECT_EQ(v.minArchiveDays, 0);
    EXPECT_EQ(v.quietMode, "schedule");
    EXPECT_EQ(v.scheduleRange, "22-6, 13");
    EXPECT_EQ(v.enabledCloudProviders, QStringList({"Dropbox", "pCloud"}));
    EXPECT_EQ(v.minDeleteDays, 99);       // the last assignment counts, as in bash
    EXPECT_FALSE(model->isSavePending()); // loading is no change

    // A file that cannot be read keeps what is on screen.
    QFile::remove(path);
    QDir().mkpath(path);
    model->load();
    EXPECT_EQ(model->values().smartMinBattery, 20);
}

TEST_F(PreferencesTest, TheHardFloorIsClampedAndLoweringItBelowTheDefaultWaitsForConfirmation) {
    model->load();
    // From the default, 3 is asked about first and changes nothing meanwhile.
    EXPECT_EQ(model->enterHardFloor(3), 3);
    EXPECT_EQ(model->values().hardFloorDays, 7);
    EXPECT_FALSE(model->isSavePending());
    EXPECT_EQ(model->enterHardFloor(-5), 1);

    EXPECT_EQ(model->enterHardFloor(400), std::nullopt);
    EXPECT_EQ(model->values().hardFloorDays, 365);
    EXPECT_EQ(model->enterHardFloor(7), std::nullopt);
    model->change([](Preferences &p) { p.hardFloorDays = 3; }); // what confirming does
    // Once below the default, further values apply at once; 0 becomes 1.
    EXPECT_EQ(model->enterHardFloor(0), std::nullopt);
    EXPECT_EQ(model->values().hardFloorDays, 1);
    ASSERT_TRUE(model->save());
    EXPECT_TRUE(readText(path).contains("\nMIN_AGE_HARD_FLOOR_DAYS=1\n"));

    // Whatever the value held, the service is never told less than a day.
    Preferences zero;
    zero.hardFloorDays = 0;
    EXPECT_EQ(zero.configValues().at("MIN_AGE_HARD_FLOOR_DAYS"), "1");
}

TEST_F(PreferencesTest, AFailedWriteKeepsTheValuesAndTheNextChangeWritesEverything) {
    model->load();
    // A folder where the file should be: readable as nothing, writable as nothing.
    QFile::remove(path);
    QDir().mkpath(path);
    model->change([](Preferences &p) { p.smartMinBattery = 15; });
    ASSERT_TRUE(test::waitUntil([&] { return model->lastApplyError().has_value(); }));
    EXPECT_TRUE(model->lastApplyError()->contains(path));
    EXPECT_EQ(model->values().smartMinBattery, 15);
    EXPECT_FALSE(model->savedFeedback());

    QDir(path).removeRecursively();
    QSignalSpy saved(model.get(), &PreferencesModel::saved);
    model->change([](Preferences &p) { p.notifyOnOkRun = true; });
    ASSERT_TRUE(savedOnce(saved));
    EXPECT_FALSE(model->lastApplyError());
    const test::Sourced sourced = test::sourceWithBash(path, kOwnedKeys);
    EXPECT_EQ(sourced.values.size(), kOwnedKeys.size());
    EXPECT_EQ(sourced.values.value("SMART_MIN_BATTERY"), QStringList{"15"});
    EXPECT_EQ(sourced.values.value("NOTIFY_ON_OK_RUN"), QStringList{"1"});
}

TEST_F(PreferencesTest, AChangeStillWaitingIsWrittenWhenTheModelGoes) {
    model->load();
    model->change([](Preferences &p) { p.quietMode = quietModes::smart; });
    model.reset();
    EXPECT_TRUE(readText(path).contains("\nQUIET_MODE=smart\n"));
}

TEST_F(PreferencesTest, TheOlderCloudSwitchEnablesEveryDetectedProviderOnceTheyAreKnown) {
    writeText(path, "INCLUDE_CLOUD_EVICT=1\nOPTIMISE_CLOUD_PROVIDERS=\"\"\n");
    model->load();
    EXPECT_TRUE(model->values().enabledCloudProviders.isEmpty());
    model->setDetectedCloudProviders({});
    EXPECT_FALSE(model->isSavePending());

    QSignalSpy saved(model.get(), &PreferencesModel::saved);
    model->setDetectedCloudProviders({"pCloud", "Dropbox", "Google Drive"});
    EXPECT_EQ(model->values().enabledCloudProviders,
              QStringList({"Dropbox", "Google Drive", "pCloud"}));
    ASSERT_TRUE(savedOnce(saved));
    const test::Sourced sourced =
        test::sourceWithBash(path, {"OPTIMISE_CLOUD_PROVIDERS", "INCLUDE_CLOUD_EVICT"});
    EXPECT_EQ(sourced.values.value("OPTIMISE_CLOUD_PROVIDERS"),
              QStringList{"Dropbox,Google Drive,pCloud"});
    EXPECT_EQ(sourced.values.value("INCLUDE_CLOUD_EVICT"), QStringList{"1"});

    // Only once: a provider switched off stays off when the list is found again.
    model->change([](Preferences &p) { p.enabledCloudProviders = {"Dropbox"}; });
    model->setDetectedCloudProviders({"pCloud", "Dropbox", "Google Drive", "MEGA"});
    EXPECT_EQ(model->values().enabledCloudProviders, QStringList{"Dropbox"});

    // A per-provider list written since wins over the older switch.
    writeText(path, "INCLUDE_CLOUD_EVICT=1\nOPTIMISE_CLOUD_PROVIDERS=MEGA\n");
    model->load();
    model->setDetectedCloudProviders({"pCloud", "MEGA"});
    EXPECT_EQ(model->values().enabledCloudProviders, QStringList{"MEGA"});
}
