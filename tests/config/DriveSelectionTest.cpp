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

QJsonObject driveObject(const QString &name, bool current) {
    return QJsonObject{
        {"name", name},
        {"path", QStringLiteral("/media/u/") + name},
        {"filesystem", "ext4"},
        {"protocol", "usb"},
        {"removable", "Fixed"},
        {"location", "External"},
        {"device", "/dev/sdz1"},
        {"uuid", "1234-ABCD"},
        {"free_mb", 3 * 1024 + 500},
        {"total_mb", 10 * 1024},
        {"is_current", current},
        {"has_marker", current},
    };
}

QByteArray json(const QJsonArray &array) {
    return QJsonDocument(array).toJson();
}

QByteArray json(const QJsonObject &object) {
    return QJsonDocument(object).toJson();
}

QJsonObject assessmentObject(const char *verdict, const QStringList &reasons = {},
                             const QStringList &warnings = {}) {
    return QJsonObject{{"verdict", verdict},
                       {"filesystem", "ext4"},
                       {"reasons", QJsonArray::fromStringList(reasons)},
                       {"warnings", QJsonArray::fromStringList(warnings)}};
}

QJsonObject benchmarkObject(const QStringList &notes) {
    QJsonObject object = QJsonDocument::fromJson(R"({"size_mb": 256, "write_mbps": 250,
        "read_mbps": 420, "min_read_mbps": 100, "min_write_mbps": 80, "warn_read_mbps": 400,
        "warn_write_mbps": 300, "verdict": "warn"})")
                             .object();
    object.insert(QStringLiteral("notes"), QJsonArray::fromStringList(notes));
    return object;
}

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

TEST(DriveDecoding, ListsSkipBadDrivesAndAnswersNeedEveryKey) {
    QJsonObject noPath = driveObject(QStringLiteral("B"), false);
    noPath.remove(QStringLiteral("path"));
    QJsonObject textSize = driveObject(QStringLiteral("C"), false);
    textSize.insert(QStringLiteral("free_mb"), QStringLiteral("12"));
    const std::optional<QList<Drive>> drives = Drive::decodeList(
        json(QJsonArray{driveObject(QStringLiteral("A"), true), noPath, textSize}));
    ASSERT_TRUE(drives.has_value());
    ASSERT_EQ(drives->size(), 1);
    EXPECT_EQ(drives->first().path, QStringLiteral("/media/u/A"));
    EXPECT_TRUE(drives->first().is_current);
    EXPECT_EQ(Drive::decodeList("Could not list drives."), std::nullopt);
    EXPECT_EQ(Drive::decodeList(json(driveObject(QStringLiteral("A"), true))), std::nullopt);

    const std::optional<Assessment> bare =
        Assessment::decode(R"({"verdict": "block", "reasons": ["Full."], "warnings": []})");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->verdict, DriveVerdict::Block);
    EXPECT_EQ(bare->filesystem, std::nullopt);
    EXPECT_EQ(bare->reasons, QStringList{"Full."});
    EXPECT_EQ(Assessment::decode(R"({"verdict": "maybe", "reasons": [], "warnings": []})"),
              std::nullopt);
    EXPECT_EQ(Assessment::decode(R"({"verdict": "ok", "reasons": [1], "warnings": []})"),
              std::nullopt);
    EXPECT_EQ(Assessment::decode(R"({"verdict": "ok", "reasons": []})"), std::nullopt);

    QJsonObject benchmark = benchmarkObject({QStringLiteral("Slow.")});
    EXPECT_EQ(Benchmark::decode(json(benchmark))->notes, QStringList{"Slow."});
    benchmark.remove(QStringLiteral("warn_write_mbps"));
    EXPECT_EQ(Benchmark::decode(json(benchmark)), std::nullopt);
}

class DriveSelection : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        writeText(paths::serviceScript(), kFakeService);
        setDrives({driveObject(QStringLiteral("Fast"), false),
                   driveObject(QStringLiteral("Home"), true),
                   driveObject(QStringLiteral("Stick"), false)});
        answer(QStringLiteral("assess-Home.json"), json(assessmentObject("ok")));
        answer(QStringLiteral("assess-Fast.json"),
               json(assessmentObject("warn", {}, {QStringLiteral("It is on USB 2.")})));
        answer(QStringLiteral("assess-Stick.json"),
               json(assessmentObject("block", {QStringLiteral("It is read-only.")})));
    }

    void answer(const QString &name, const QByteArray &content) {
        writeText(inHome(QStringLiteral("answers/") + name), content);
    }
    void setDrives(const QJsonArray &drives) {
        answer(QStringLiteral("drives.json"), json(drives));
    }
    void hold(const QString &name) { answer(QStringLiteral("hold-") + name, {}); }
    void release(const QString &name) {
        QFile::remove(inHome(QStringLiteral("answers/hold-") + name));
    }
    QStringList calls() const {
        return QString::fromUtf8(readText(inHome(QStringLiteral("answers/calls"))))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool settled() const {
        return !model.isLoadingDrives() && model.assessingPath().isEmpty() &&
               !model.isBenchmarking() && !model.isCommitting();
    }
    // Lets every service call finish and its answer reach the model, applied or dropped.
    static void drain() {
        ASSERT_TRUE(blockingPool()->waitForDone(30000));
        QCoreApplication::processEvents();
    }

    DriveSelectionModel model;
};

TEST_F(DriveSelection, SelectsTheCurrentDriveAndSwitchesOnlyToASuitableOne) {
    model.load();
    EXPECT_TRUE(model.isLoadingDrives());
    ASSERT_TRUE(waitUntil([&] { return settled() && model.assessment(); }));
    EXPECT_EQ(model.drives().size(), 3);
    EXPECT_EQ(model.selectedID(), QStringLiteral("/media/u/Home"));
    EXPECT_EQ(model.verdictTitle(), QStringLiteral("Home: looks good"));
    EXPECT_FALSE(model.canSwitch()); // already the NVMe
    const DriveCard card = *model.selectedCard();
    EXPECT_TRUE(card.current);
    EXPECT_EQ(card.rows.last(),
              (DriveCard::Row{QStringLiteral("Space"), QStringLiteral("3 GB free / 10 GB")}));

    model.select(QStringLiteral("/media/u/Stick"));
    EXPECT_EQ(model.detailPlaceholder(), QStringLiteral("Inspecting drive…"));
    EXPECT_FALSE(model.canSwitch()); // not before the assessment is in
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    EXPECT_EQ(model.verdictTitle(), QStringLiteral("Stick: not suitable"));
    EXPECT_FALSE(model.canSwitch());
    model.askToSwitch();
    EXPECT_FALSE(model.isConfirmingSwitch());

    model.select(QStringLiteral("/media/u/Fast"));
    answer(QStringLiteral("bench-Fast.json"), json(benchmarkObject({QStringLiteral("Slowish.")})));
    model.runBenchmark();
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    EXPECT_EQ(model.verdictTitle(), QStringLiteral("Fast: usable with warnings"));
    EXPECT_TRUE(model.canSwitch());
    EXPECT_TRUE(model.confirmIsDestructive());
    EXPECT_EQ(model.confirmationTitle(), QStringLiteral("Use Fast as the managed external drive?"));
    EXPECT_EQ(
        model.confirmationMessage(),
        QStringLiteral("This rewrites ~/.quindle/quindle.conf to point at the selected drive.\n"
                       "Warnings:\nIt is on USB 2.\n"
                       "Speed notes:\nSlowish.\n"
                       "After switching, run 2-prep-nvme.sh on the new drive to create the "
                       "folder layout."));
    EXPECT_EQ(model.benchmarkText(),
              QStringList({QStringLiteral("Read: 420 MB/s (minimum 100 MB/s, slow below 400 MB/s)"),
                           QStringLiteral("Write: 250 MB/s (minimum 80 MB/s, slow below 300 MB/s)"),
                           QStringLiteral("Slowish.")}));
}

TEST_F(DriveSelection, ConfirmingRunsSelectDriveShowsItsAnswerAndReloads) {
    setDrives(
        {driveObject(QStringLiteral("Fast"), false), driveObject(QStringLiteral("Home"), true)});
    answer(QStringLiteral("drives-after.json"),
           json(QJsonArray{driveObject(QStringLiteral("Fast"), true),
                           driveObject(QStringLiteral("Home"), false)}));
    model.load();
    ASSERT_TRUE(waitUntil([&] { return settled() && model.assessment(); }));
    model.select(QStringLiteral("/media/u/Fast"));
    ASSERT_TRUE(waitUntil([&] { return settled() && model.assessment(); }));

    model.askToSwitch();
    ASSERT_TRUE(model.isConfirmingSwitch());
    model.cancelSwitch();
    EXPECT_FALSE(model.isConfirmingSwitch());
    EXPECT_FALSE(calls().contains(QStringLiteral("select-drive /media/u/Fast")));

    model.askToSwitch();
    model.confirmSwitch();
    EXPECT_TRUE(model.isCommitting());
    EXPECT_FALSE(model.canSwitch());
    ASSERT_TRUE(waitUntil([&] { return settled() && model.selectedDrive()->is_current; }));
    EXPECT_EQ(model.commitMessage(),
              QStringLiteral("The NVMe is now /media/u/Fast; the service picks it up within 30 "
                             "seconds."));
    EXPECT_EQ(calls().filter(QRegularExpression(QStringLiteral("^select-drive "))),
              QStringList{"select-drive /media/u/Fast"});
    EXPECT_EQ(model.selectedID(), QStringLiteral("/media/u/Fast"));
    EXPECT_FALSE(model.canSwitch());
}

TEST_F(DriveSelection, AnAnswerForADriveNoLongerSelectedIsDropped) {
    model.load();
    ASSERT_TRUE(waitUntil([&] { return settled() && model.assessment(); }));
    hold(QStringLiteral("Stick"));
    model.select(QStringLiteral("/media/u/Stick"));
    ASSERT_TRUE(
        waitUntil([&] { return calls().contains(QStringLiteral("assess /media/u/Stick")); }));
    model.select(QStringLiteral("/media/u/Fast"));
    answer(QStringLiteral("bench-Fast.json"), json(benchmarkObject({})));
    model.runBenchmark();
    model.select(QStringLiteral("/media/u/Home"));
    ASSERT_TRUE(waitUntil([&] { return model.assessment().has_value(); }));

    release(QStringLiteral("Stick"));
    drain();
    EXPECT_EQ(model.verdictTitle(), QStringLiteral("Home: looks good"));
    EXPECT_TRUE(model.assessingPath().isEmpty());
    EXPECT_EQ(model.benchmark(), std::nullopt); // measured Fast, not Home
    EXPECT_TRUE(model.benchmarkText().isEmpty());
}

TEST_F(DriveSelection, AVolumeChangeDuringAListingListsAgainAndAVanishedDriveIsNotKept) {
    platform::VolumeWatcher watcher;
    model.followVolumes(&watcher);
    model.load();
    ASSERT_TRUE(waitUntil([&] { return settled() && model.assessment(); }));
    model.select(QStringLiteral("/media/u/Fast"));
    ASSERT_TRUE(waitUntil([&] { return settled(); }));

    hold(QStringLiteral("list"));
    Q_EMIT watcher.volumeUnmounted(QStringLiteral("/media/u/Fast"));
    ASSERT_TRUE(waitUntil([&] { return calls().count(QStringLiteral("list-drives")) == 2; }));
    // The listing under way may predate the unmount; a second one follows it.
    Q_EMIT watcher.volumeUnmounted(QStringLiteral("/media/u/Fast"));
    setDrives({driveObject(QStringLiteral("Home"), true)});
    release(QStringLiteral("list"));
    ASSERT_TRUE(waitUntil([&] { return calls().count(QStringLiteral("list-drives")) == 3; }));
    ASSERT_TRUE(waitUntil([&] { return settled() && model.drives().size() == 1; }));
    EXPECT_EQ(model.selectedID(), QStringLiteral("/media/u/Home"));

    // A listing that fails keeps the drives that were there.
    answer(QStringLiteral("drives.json"), "not json");
    model.load();
    ASSERT_TRUE(waitUntil([&] { return calls().count(QStringLiteral("done list-drives")) == 4; }));
    drain();
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    EXPECT_EQ(model.drives().size(), 1);
}

TEST_F(DriveSelection, AFailedSpeedTestSaysWhy) {
    model.load();
    ASSERT_TRUE(waitUntil([&] { return settled() && model.assessment(); }));
    model.runBenchmark();
    EXPECT_TRUE(model.isBenchmarking());
    EXPECT_FALSE(model.canBenchmark());
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    EXPECT_EQ(model.benchmarkText(),
              QStringList{"Benchmark failed: Cannot run a speed test: /media/u/Home is not a "
                          "writable folder."});
}

// The real service's answers, decoded with the application's decoders.
class DriveService : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        setEnv("QUINDLE_MACHINE_NAME", QStringLiteral("Test Box"));
        setEnv("QUINDLE_BENCH_MB", QStringLiteral("2"));
        drive = inHome(QStringLiteral("drives/Fast $drive ü"));
        QDir().mkpath(drive);
        test::ServiceSandbox::install(drive);
    }
    static ProcessOutput run(const QString &subCommand, const QStringList &extra = {}) {
        return ServiceBridge::runProcessBlocking(
            service::program(), service::arguments(subCommand, extra), service::subCommandTimeout);
    }
    QString drive;
};

TEST_F(DriveService, SubCommandsDecodeAndSelectDriveWritesWhatTheConfigReads) {
    ProcessOutput result = run(service::listDrives);
    ASSERT_EQ(result.status, 0) << result.output.toStdString();
    const std::optional<QList<Drive>> drives = Drive::decodeList(result.output.toUtf8());
    ASSERT_TRUE(drives.has_value()) << result.output.toStdString();
    const auto listed = std::find_if(drives->cbegin(), drives->cend(),
                                     [&](const Drive &d) { return d.path == drive; });
    ASSERT_NE(listed, drives->cend()) << result.output.toStdString();
    EXPECT_TRUE(listed->is_current);
    EXPECT_EQ(listed->name, QStringLiteral("Fast $drive ü"));
    EXPECT_GT(listed->total_mb, 0);

    result = run(service::assess, {drive});
    ASSERT_EQ(result.status, 0) << result.output.toStdString();
    const std::optional<Assessment> assessment = Assessment::decode(result.output.toUtf8());
    ASSERT_TRUE(assessment.has_value()) << result.output.toStdString();
    EXPECT_EQ(assessment->verdict, DriveVerdict::Block); // the same disk as the home folder
    EXPECT_FALSE(assessment->reasons.isEmpty());

    result = run(service::benchmark, {drive});
    ASSERT_EQ(result.status, 0) << result.output.toStdString();
    const std::optional<Benchmark> benchmark = Benchmark::decode(result.output.toUtf8());
    ASSERT_TRUE(benchmark.has_value()) << result.output.toStdString();
    EXPECT_EQ(benchmark->size_mb, 2);
    EXPECT_GT(benchmark->min_read_mbps, 0);
    EXPECT_EQ(QDir(drive).entryList(QDir::Files | QDir::Hidden), QStringList());

    // The service writes the path its own way; the application must read the same text.
    const QString other = inHome(QStringLiteral("drives/Other \"Quoted\" $(id) `x`"));
    QDir().mkpath(other);
    result = run(service::selectDrive, {other});
    ASSERT_EQ(result.status, 0) << result.output.toStdString();
    const ConfigFile config;
    EXPECT_EQ(config.value(QStringLiteral("NVMe")), other) << readText(config.path()).toStdString();
    ASSERT_EQ(config.set({{QStringLiteral("QUIET_MODE"), QStringLiteral("smart")},
                          {QStringLiteral("NVMe"), other}}),
              std::nullopt);
    const test::Sourced sourced =
        test::sourceWithBash(config.path(), {QStringLiteral("NVMe"), QStringLiteral("QUIET_MODE")});
    EXPECT_EQ(sourced.scalars.value(QStringLiteral("NVMe")), other);
    EXPECT_EQ(sourced.scalars.value(QStringLiteral("QUIET_MODE")), QStringLiteral("smart"));

    result = run(service::listDrives);
    const QList<Drive> after = Drive::decodeList(result.output.toUtf8()).value_or(QList<Drive>());
    EXPECT_TRUE(std::any_of(after.cbegin(), after.cend(), [&](const Drive &d) {
        return d.path == other && d.is_current;
    })) << result.output.toStdString();
}
