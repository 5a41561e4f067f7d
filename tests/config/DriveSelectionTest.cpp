#include "insight/DriveSelection.h"
#include "config/BashReader.h"
#include "core/BackgroundPool.h"
#include "core/ConfigFile.h"
#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "core/StatePaths.h"
#include "platform/VolumeWatcher.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThreadPool>

using namespace quindle;
using test::readText;
using test::waitUntil;
using test::writeText;

namespace {

QJsonObject drive(const QString &name, bool current) {
    return {{"name", name},          {"path", "/media/u/" + name}, {"filesystem", "ext4"},
            {"protocol", "usb"},     {"removable", "Fixed"},       {"location", "External"},
            {"device", "/dev/sdz1"}, {"uuid", "1234-ABCD"},        {"free_mb", 3 * 1024 + 500},
            {"total_mb", 10 * 1024}, {"is_current", current},      {"has_marker", current}};
}

QByteArray json(const QJsonArray &array) {
    return QJsonDocument(array).toJson();
}

const QByteArray kBenchmark = R"({"size_mb": 256, "write_mbps": 250, "read_mbps": 420,
    "min_read_mbps": 100, "min_write_mbps": 80, "warn_read_mbps": 400, "warn_write_mbps": 300,
    "verdict": "warn", "notes": ["Slowish."]})";

// Stands in for quindle.sh: answers from files under ~/answers, logs every call, and holds an
// answer back while a hold-<name> file exists.
const QByteArray kFakeService = R"BASH(
a=$HOME/answers
printf '%s\n' "$*" >>"$a/calls"
hold() { while [[ -e $a/hold-$1 ]]; do sleep 0.02; done; }
case $1 in
    list-drives) hold list; cat "$a/drives.json" ;;
    assess) hold "${2##*/}"; cat "$a/assess-${2##*/}.json" ;;
    benchmark)
        if [[ -e $a/bench-${2##*/}.json ]]; then cat "$a/bench-${2##*/}.json"; else
            echo "Cannot run a speed test: $2 is not a writable folder." >&2; exit 1; fi ;;
    select-drive)
        cp "$a/drives-after.json" "$a/drives.json"
        echo "The NVMe is now $2; the service picks it up within 30 seconds." ;;
esac
printf 'done %s\n' "$*" >>"$a/calls"
)BASH";

} // namespace

class DriveSelection : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        writeText(paths::serviceScript(), kFakeService);
        // A drive whose answer does not decode is left out, not the whole list.
        QJsonObject noPath = drive("Bad", false);
        noPath.remove("path");
        answer("drives.json",
               json({drive("Fast", false), drive("Home", true), noPath, drive("Stick", false)}));
        answer("assess-Home.json", R"({"verdict": "ok", "reasons": [], "warnings": []})");
        answer("assess-Fast.json",
               R"({"verdict": "warn", "reasons": [], "warnings": ["It is on USB 2."]})");
        answer("assess-Stick.json",
               R"({"verdict": "block", "reasons": ["It is read-only."], "warnings": []})");
        model.load();
        EXPECT_TRUE(model.isLoadingDrives());
        EXPECT_TRUE(waitUntil([&] { return settled() && model.assessment(); }));
    }

    void answer(const QString &name, const QByteArray &content) {
        writeText(inHome("answers/" + name), content);
    }
    void hold(const QString &name) { answer("hold-" + name, {}); }
    void release(const QString &name) { QFile::remove(inHome("answers/hold-" + name)); }
    QStringList calls() const {
        return QString::fromUtf8(readText(inHome("answers/calls")))
            .split(u'\n', Qt::SkipEmptyParts);
    }
    bool settled() const {
        return !model.isLoadingDrives() && model.assessingPath().isEmpty() &&
               !model.isBenchmarking() && !model.isCommitting();
    }

    DriveSelectionModel model;
};

TEST_F(DriveSelection, SelectsTheCurrentDriveAndSwitchesOnlyToASuitableOneAfterConfirming) {
    EXPECT_EQ(model.drives().size(), 3);
    EXPECT_EQ(model.selectedID(), "/media/u/Home");
    EXPECT_EQ(model.verdictTitle(), "Home: looks good");
    EXPECT_FALSE(model.canSwitch()); // already the NVMe
    EXPECT_TRUE(model.selectedCard()->current);
    EXPECT_EQ(model.selectedCard()->rows.last(), (DriveCard::Row{"Space", "3.7 GB free / 11 GB"}));
    model.runBenchmark();
    EXPECT_FALSE(model.canBenchmark());
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    EXPECT_EQ(model.benchmarkText(), QStringList{"Benchmark failed: Cannot run a speed test: "
                                                 "/media/u/Home is not a writable folder."});

    model.select("/media/u/Stick");
    EXPECT_EQ(model.detailPlaceholder(), "Inspecting drive…");
    EXPECT_FALSE(model.canSwitch()); // not before the assessment is in
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    EXPECT_EQ(model.verdictTitle(), "Stick: not suitable");
    EXPECT_FALSE(model.canSwitch());
    model.askToSwitch();
    EXPECT_FALSE(model.isConfirmingSwitch());

    model.select("/media/u/Fast");
    answer("bench-Fast.json", kBenchmark);
    model.runBenchmark();
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    EXPECT_EQ(model.verdictTitle(), "Fast: usable with warnings");
    EXPECT_TRUE(model.canSwitch());
    EXPECT_TRUE(model.confirmIsDestructive());
    EXPECT_EQ(model.confirmationTitle(), "Use Fast as the managed external drive?");
    EXPECT_EQ(model.confirmationMessage(),
              "This rewrites ~/.quindle/quindle.conf to point at the selected drive.\n"
              "Warnings:\nIt is on USB 2.\nSpeed notes:\nSlowish.\n"
              "After switching, run 2-prep-nvme.sh on the new drive to create the folder layout.");
    EXPECT_EQ(model.benchmarkText(),
              QStringList({"Read: 420 MB/s (minimum 100 MB/s, slow below 400 MB/s)",
                           "Write: 250 MB/s (minimum 80 MB/s, slow below 300 MB/s)", "Slowish."}));

    model.askToSwitch();
    ASSERT_TRUE(model.isConfirmingSwitch());
    model.cancelSwitch();
    EXPECT_FALSE(model.isConfirmingSwitch());
    EXPECT_FALSE(model.isCommitting());
    answer("drives-after.json", json({drive("Fast", true), drive("Home", false)}));
    model.askToSwitch();
    model.confirmSwitch();
    EXPECT_FALSE(model.canSwitch());
    ASSERT_TRUE(waitUntil([&] { return settled() && model.selectedDrive()->is_current; }));
    EXPECT_EQ(model.commitMessage(),
              "The NVMe is now /media/u/Fast; the service picks it up within 30 seconds.");
    EXPECT_EQ(calls().filter(QRegularExpression("^select-drive ")),
              QStringList{"select-drive /media/u/Fast"});
    EXPECT_EQ(model.selectedID(), "/media/u/Fast");
    EXPECT_FALSE(model.canSwitch());
}

TEST_F(DriveSelection, AnAnswerForADriveNoLongerSelectedIsDropped) {
    hold("Stick");
    model.select("/media/u/Stick");
    ASSERT_TRUE(waitUntil([&] { return calls().contains("assess /media/u/Stick"); }));
    model.select("/media/u/Fast");
    answer("bench-Fast.json", kBenchmark);
    model.runBenchmark();
    model.select("/media/u/Home");
    ASSERT_TRUE(waitUntil([&] { return model.assessment().has_value(); }));

    release("Stick");
    // Every call finishes and its answer reaches the model, applied or dropped.
    ASSERT_TRUE(blockingPool()->waitForDone(30000));
    QCoreApplication::processEvents();
    EXPECT_EQ(model.verdictTitle(), "Home: looks good");
    EXPECT_TRUE(model.assessingPath().isEmpty());
    EXPECT_EQ(model.benchmark(), std::nullopt); // measured Fast, not Home
    EXPECT_TRUE(model.benchmarkText().isEmpty());
}

TEST_F(DriveSelection, AVolumeChangeDuringAListingListsAgainAndAFailedListingKeepsTheDrives) {
    platform::VolumeWatcher watcher;
    model.followVolumes(&watcher);
    hold("list");
    Q_EMIT watcher.volumeUnmounted("/media/u/Home");
    ASSERT_TRUE(waitUntil([&] { return calls().count("list-drives") == 2; }));
    // The listing under way may predate the change; a second one follows it.
    Q_EMIT watcher.volumeMounted("/media/u/Fast");
    answer("drives.json", json({drive("Fast", true)}));
    release("list");
    ASSERT_TRUE(waitUntil([&] {
        return calls().count("list-drives") == 3 && settled() && model.drives().size() == 1;
    }));
    EXPECT_EQ(model.selectedID(), "/media/u/Fast"); // the vanished selection is not kept

    answer("drives.json", "not json");
    model.load();
    ASSERT_TRUE(waitUntil([&] { return calls().count("done list-drives") == 4 && settled(); }));
    EXPECT_EQ(model.drives().size(), 1);
}

// The real service's answers, decoded with the application's decoders.
class DriveService : public test::TempHomeTest {};

TEST_F(DriveService, SubCommandsDecodeAndSelectDriveWritesWhatTheConfigReads) {
    setEnv("QUINDLE_MACHINE_NAME", "Test Box"); // restored afterwards
    setEnv("QUINDLE_BENCH_MB", "2");
    const QString drive = inHome("drives/Fast $drive ü");
    QDir().mkpath(drive);
    test::ServiceSandbox::install(drive);
    const auto run = [](const QString &subCommand, const QStringList &extra = {}) {
        const ProcessOutput result = ServiceBridge::runProcessBlocking(
            service::program(), service::arguments(subCommand, extra), service::subCommandTimeout);
        EXPECT_EQ(result.status, 0) << result.output.toStdString();
        return result.output.toUtf8();
    };

    const QList<Drive> drives =
        Drive::decodeList(run(service::listDrives)).value_or(QList<Drive>());
    const auto listed = std::find_if(drives.cbegin(), drives.cend(),
                                     [&](const Drive &d) { return d.path == drive; });
    ASSERT_NE(listed, drives.cend());
    EXPECT_TRUE(listed->is_current);
    EXPECT_EQ(listed->name, "Fast $drive ü");
    EXPECT_GT(listed->total_mb, 0);

    const std::optional<Assessment> assessment = Assessment::decode(run(service::assess, {drive}));
    ASSERT_TRUE(assessment.has_value());
    EXPECT_EQ(assessment->verdict, DriveVerdict::Block); // the same disk as the home folder
    EXPECT_FALSE(assessment->reasons.isEmpty());

    const std::optional<Benchmark> benchmark = Benchmark::decode(run(service::benchmark, {drive}));
    ASSERT_TRUE(benchmark.has_value());
    EXPECT_EQ(benchmark->size_mb, 2);
    EXPECT_GT(benchmark->min_read_mbps, 0);
    EXPECT_EQ(QDir(drive).entryList(QDir::Files | QDir::Hidden), QStringList());

    // The service writes the path its own way; the application and bash must read the same text.
    const QString other = inHome("drives/Other \"Quoted\" $(id) `x`");
    QDir().mkpath(other);
    run(service::selectDrive, {other});
    const ConfigFile config;
    EXPECT_EQ(config.value("NVMe"), other) << readText(config.path()).toStdString();
    EXPECT_EQ(test::sourceWithBash(config.path(), {"NVMe"}).values.value("NVMe"),
              QStringList{other});
}
