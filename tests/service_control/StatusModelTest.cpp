#include "core/StatusModel.h"
#include "FakeServiceManager.h"
#include "core/StatePaths.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/statvfs.h>

using namespace quindle;
using test::readText;
using test::writeText;

namespace {

ServiceStatus healthy() {
    ServiceStatus s;
    s.nvme_path = QStringLiteral("/media/u/NVMe");
    s.mounted = true;
    s.marker_ok = true;
    s.internal_free_gb = 100;
    s.low_space_warn_gb = 40;
    s.low_space_critical_gb = 15;
    s.quiet_hours_blocked = QStringLiteral("9-19");
    return s;
}

template <typename Change> ServiceStatus healthyWith(Change change) {
    ServiceStatus s = healthy();
    change(s);
    return s;
}

QByteArray statusJson(const QJsonObject &overrides = {}) {
    QJsonObject o{{"timestamp", "2024-05-01T10:00:00Z"},
                  {"version", 1},
                  {"nvme_path", ""},
                  {"mounted", false},
                  {"marker_ok", false},
                  {"internal_free_gb", 999999},
                  {"internal_total_gb", 999999},
                  {"idle_secs", 0},
                  {"quiet_hours", false},
                  {"paused", false},
                  {"auto_enabled", true},
                  {"low_space_warn_gb", 40},
                  {"low_space_critical_gb", 15},
                  {"auto_relocate_hour", 3},
                  {"quiet_hours_blocked", "9-19"},
                  {"rule_count", 0},
                  {"app_cache_path_count", 0}};
    for (auto it = overrides.begin(); it != overrides.end(); ++it)
        o.insert(it.key(), it.value());
    return QJsonDocument(o).toJson();
}

qint64 statvfsGB(const QString &path) {
    struct statvfs fs {};
    EXPECT_EQ(statvfs(QFile::encodeName(path).constData(), &fs), 0);
    return qint64(fs.f_bavail) * qint64(fs.f_frsize) / 1'000'000'000;
}

template <typename T> T await(const QFuture<T> &future) {
    EXPECT_TRUE(test::waitUntil([&] { return future.isFinished(); }, 20000));
    if constexpr (!std::is_void_v<T>)
        return future.result();
}

} // namespace

TEST(StatusTexts, HeadlineFirstMatchAndThresholdsInclusive) {
    using S = ServiceStatus;
    const std::optional<S> none;
    EXPECT_EQ(StatusModel::headerSubtitle(false, true, healthy()), "Service not installed");
    EXPECT_EQ(StatusModel::headerSubtitle(true, false, healthy()),
              "Service stopped — click Start to begin");
    EXPECT_EQ(StatusModel::headerSubtitle(true, true, none), "Service starting…");
    const QList<std::pair<S, QString>> rows{
        {healthy(), "All systems normal"},
        {healthyWith([](S &s) { s.paused = true; }), "Paused — automatic actions disabled"},
        {healthyWith([](S &s) { s.marker_ok = false; }), "Wrong disk at /media/u/NVMe"},
        {healthyWith([](S &s) { s.mounted = s.marker_ok = false; }), "NVMe not mounted"},
        {healthyWith([](S &s) { s.internal_free_gb = 41; }), "All systems normal"},
        {healthyWith([](S &s) { s.internal_free_gb = 40; }), "Internal disk low"},
        {healthyWith([](S &s) { s.internal_free_gb = 16; }), "Internal disk low"},
        {healthyWith([](S &s) { s.internal_free_gb = 15; }), "Critical — internal disk full"},
        {healthyWith([](S &s) {
             s.internal_free_gb = 0;
             s.marker_ok = false;
         }),
         "Wrong disk at /media/u/NVMe"},
    };
    for (const auto &[status, text] : rows)
        EXPECT_EQ(StatusModel::headerSubtitle(true, true, status), text);
}

TEST(StatusTexts, QuietModeDescriptions) {
    using S = ServiceStatus;
    const QList<std::pair<S, QString>> rows{
        {healthy(), "9-19"},
        {healthyWith([](S &s) { s.quiet_hours = true; }), "9-19  • active now"},
        {healthyWith([](S &s) { s.quiet_mode = "schedule"; }), "9-19"},
        {healthyWith([](S &s) {
             s.quiet_mode = "always-on";
             s.quiet_hours = true;
         }),
         "Always on • never quiet"},
        {healthyWith([](S &s) { s.quiet_mode = "smart"; }), "Smart • OK to run"},
        {healthyWith([](S &s) {
             s.quiet_mode = "smart";
             s.quiet_hours = true;
         }),
         "Smart • active — user busy"},
        {healthyWith([](S &s) {
             s.quiet_mode = "smart";
             s.quiet_hours = true;
             s.quiet_reason = "on battery (12%)";
         }),
         "Smart • active — on battery (12%)"},
    };
    for (const auto &[status, text] : rows)
        EXPECT_EQ(StatusModel::quietHoursDescription(status), text);
}

TEST(StatusTexts, IconStateOrder) {
    using S = ServiceStatus;
    EXPECT_EQ(iconState(healthy(), false, false), IconState::NotInstalled);
    EXPECT_EQ(iconState(std::nullopt, true, false), IconState::NoStatus);
    EXPECT_EQ(iconState(healthyWith([](S &s) {
                            s.paused = true;
                            s.mounted = false;
                        }),
                        true, true),
              IconState::Paused);
    EXPECT_EQ(iconState(healthyWith([](S &s) { s.marker_ok = false; }), true, true),
              IconState::DriveMissing);
    EXPECT_EQ(iconState(healthyWith([](S &s) { s.internal_free_gb = 15; }), true, false),
              IconState::Critical);
    EXPECT_EQ(iconState(healthyWith([](S &s) { s.internal_free_gb = 40; }), true, false),
              IconState::Low);
    EXPECT_EQ(iconState(healthy(), true, false), IconState::NoFullDiskAccess);
    EXPECT_EQ(iconState(healthy(), true, true), IconState::Normal);
}

class StatusModelTest : public test::TempHomeTest {
protected:
    std::shared_ptr<test::FakeServiceManager> fake =
        std::make_shared<test::FakeServiceManager>(inHome(QStringLiteral("unit")));
    StatusModel model{[manager = fake] { return manager; }};
};

TEST_F(StatusModelTest, RefreshMeasuresFreeSpaceAndKeepsOrClearsTheLastStatus) {
    fake->loadedFrom = 0;
    const QString drive = inHome(QStringLiteral("drive"));
    QDir().mkpath(drive);
    writeText(paths::statusFile(),
              statusJson({{"nvme_path", drive}, {"mounted", true}, {"nvme_free_gb", 999999}}));
    await(model.refreshAsync());
    ASSERT_TRUE(model.status());
    EXPECT_EQ(model.status()->internal_free_gb, statvfsGB(home()));
    EXPECT_EQ(model.status()->nvme_free_gb, statvfsGB(drive));
    EXPECT_EQ(model.status()->internal_total_gb, 999999); // only free space is measured
    const ServiceStatus first = *model.status();

    QFile::remove(paths::statusFile()); // between two rewrites of a running service
    await(model.refreshAsync());
    EXPECT_EQ(model.status(), first);
    EXPECT_FALSE(model.lastError());

    writeText(paths::statusFile(), statusJson({{"internal_free_gb", "lots"}}));
    await(model.refreshAsync());
    EXPECT_EQ(model.status(), first);
    ASSERT_TRUE(model.lastError());
    EXPECT_TRUE(model.lastError()->contains(QStringLiteral("internal_free_gb")))
        << model.lastError()->toStdString();

    writeText(paths::statusFile(), statusJson());
    await(model.refreshAsync());
    EXPECT_FALSE(model.lastError());

    fake->loadedFrom = -1;
    QFile::remove(paths::statusFile());
    await(model.refreshAsync());
    EXPECT_FALSE(model.serviceLoaded());
    EXPECT_FALSE(model.status());
}

TEST_F(StatusModelTest, RunSplitsTheCommandTracksItAndReportsAFailureExcerpt) {
    fake->loadedFrom = 0;
    writeText(paths::serviceScript(),
              "printf '%s|' \"$@\" >\"$HOME/.quindle/args\"\n"
              "while [[ ! -e \"$HOME/.quindle/go\" ]]; do sleep 0.02; done\n"
              "printf '\\n  %s%s  \\n\\n' \"$(printf 'x%.0s' {1..150})\" "
              "\"$(printf 'y%.0s' {1..150})\"\n"
              "exit 2\n");
    const QFuture<ProcessOutput> done = model.run(QStringLiteral("rollback  --yes"));
    EXPECT_EQ(model.actionsInFlight(), QStringList({"rollback  --yes"}));
    ASSERT_TRUE(test::waitUntil([] { return QFile::exists(paths::quindleDirectory() + "/args"); }));
    EXPECT_EQ(readText(paths::quindleDirectory() + "/args"), "rollback|--yes|");
    EXPECT_TRUE(model.isInFlight(QStringLiteral("rollback  --yes")));

    writeText(paths::quindleDirectory() + "/go", "");
    EXPECT_EQ(await(done).status, 2);
    const QString output = QString(150, 'x') + QString(150, 'y');
    EXPECT_EQ(model.actionOutput(), output);
    EXPECT_EQ(model.lastError(), QStringLiteral("exit 2 — ") + output.left(200));
    EXPECT_EQ(model.actionsInFlight(), QStringList());
}

TEST_F(StatusModelTest, StartAndStopGoThroughTheServiceManager) {
    fake->loadResult = {1, QString(250, 'e') + "\n"};
    EXPECT_EQ(await(model.startService()).status, 1);
    EXPECT_EQ(fake->loads, 1);
    EXPECT_EQ(model.lastError(), QStringLiteral("Start failed: ") + QString(200, 'e'));
    EXPECT_FALSE(model.isInFlight(StatusModel::startKey));

    fake->unloadResult = {0, "stopped\n"};
    EXPECT_EQ(await(model.stopService()).status, 0);
    EXPECT_EQ(fake->unloads, 1);
    EXPECT_EQ(model.actionOutput(), "stopped");
    EXPECT_FALSE(model.lastError()); // the later success replaces the failure
}
