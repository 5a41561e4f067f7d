#include "core/StatusModel.h"
#include "core/StatePaths.h"
#include "support/FakeServiceManager.h"
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
using S = ServiceStatus;

namespace {

// A healthy status, then `change`.
S healthy(const std::function<void(S &)> &change = [](S &) {}) {
    S s;
    s.nvme_path = "/media/u/NVMe";
    s.mounted = s.marker_ok = true;
    s.internal_free_gb = 100;
    s.low_space_warn_gb = 40;
    s.low_space_critical_gb = 15;
    s.quiet_hours_blocked = "9-19";
    change(s);
    return s;
}

QByteArray statusJson(const QJsonObject &overrides = {}) {
    QJsonObject o = QJsonDocument::fromJson(R"({"timestamp": "2024-05-01T10:00:00Z", "version": 1,
        "nvme_path": "", "mounted": false, "marker_ok": false, "internal_free_gb": 999999,
        "internal_total_gb": 999999, "idle_secs": 0, "quiet_hours": false, "paused": false,
        "auto_enabled": true, "low_space_warn_gb": 40, "low_space_critical_gb": 15,
        "auto_relocate_hour": 3, "quiet_hours_blocked": "9-19", "rule_count": 0,
        "app_cache_path_count": 0})")
                        .object();
    for (auto it = overrides.begin(); it != overrides.end(); ++it)
        o.insert(it.key(), it.value());
    return QJsonDocument(o).toJson();
}

template <typename T> T await(const QFuture<T> &future) {
    EXPECT_TRUE(test::waitUntil([&] { return future.isFinished(); }, 20000));
    if constexpr (!std::is_void_v<T>)
        return future.result();
}

} // namespace

TEST(StatusTexts, HeadlineFirstMatchAndThresholdsInclusive) {
    EXPECT_EQ(StatusModel::headerSubtitle(false, true, healthy()), "Service not installed");
    EXPECT_EQ(StatusModel::headerSubtitle(true, false, healthy()),
              "Service stopped — click Start to begin");
    EXPECT_EQ(StatusModel::headerSubtitle(true, true, std::nullopt), "Service starting…");
    const std::pair<S, const char *> rows[] = {
        {healthy(), "All systems normal"},
        {healthy([](S &s) { s.paused = true; }), "Paused — automatic actions disabled"},
        {healthy([](S &s) { s.marker_ok = false; }), "Wrong disk at /media/u/NVMe"},
        {healthy([](S &s) { s.mounted = s.marker_ok = false; }), "NVMe not mounted"},
        {healthy([](S &s) { s.internal_free_gb = 41; }), "All systems normal"},
        {healthy([](S &s) { s.internal_free_gb = 40; }), "Internal disk low"},
        {healthy([](S &s) { s.internal_free_gb = 16; }), "Internal disk low"},
        {healthy([](S &s) { s.internal_free_gb = 15; }), "Critical — internal disk full"},
        {healthy([](S &s) { s.internal_free_gb = 0, s.marker_ok = false; }),
         "Wrong disk at /media/u/NVMe"}};
    for (const auto &[status, text] : rows)
        EXPECT_EQ(StatusModel::headerSubtitle(true, true, status), text) << text;
}

TEST(StatusTexts, QuietModeDescriptionsAndIconStateOrder) {
    const std::pair<S, const char *> rows[] = {
        {healthy(), "9-19"},
        {healthy([](S &s) { s.quiet_hours = true; }), "9-19  • active now"},
        {healthy([](S &s) { s.quiet_mode = "schedule"; }), "9-19"},
        {healthy([](S &s) { s.quiet_mode = "always-on", s.quiet_hours = true; }),
         "Always on • never quiet"},
        {healthy([](S &s) { s.quiet_mode = "smart"; }), "Smart • OK to run"},
        {healthy([](S &s) { s.quiet_mode = "smart", s.quiet_hours = true; }),
         "Smart • active — user busy"},
        {healthy([](S &s) {
             s.quiet_mode = "smart", s.quiet_hours = true, s.quiet_reason = "on battery (12%)";
         }),
         "Smart • active — on battery (12%)"}};
    for (const auto &[status, text] : rows)
        EXPECT_EQ(StatusModel::quietHoursDescription(status), text);

    // Each state wins over the ones after it.
    const std::tuple<std::optional<S>, bool, IconState> icons[] = {
        {healthy(), false, IconState::NotInstalled},
        {std::nullopt, true, IconState::NoStatus},
        {healthy([](S &s) { s.paused = true, s.mounted = false; }), true, IconState::Paused},
        {healthy([](S &s) { s.marker_ok = false, s.internal_free_gb = 1; }), true,
         IconState::DriveMissing},
        {healthy([](S &s) { s.internal_free_gb = 15; }), true, IconState::Critical},
        {healthy([](S &s) { s.internal_free_gb = 40; }), true, IconState::Low},
        {healthy(), true, IconState::Normal}};
    for (const auto &[status, installed, state] : icons)
        EXPECT_EQ(iconState(status, installed), state) << int(state);
}

class StatusModelTest : public test::TempHomeTest {
protected:
    std::shared_ptr<test::FakeServiceManager> fake =
        std::make_shared<test::FakeServiceManager>(inHome("unit"));
    StatusModel model{[manager = fake] { return manager; }};
};

TEST_F(StatusModelTest, RefreshMeasuresFreeSpaceAndKeepsOrClearsTheLastStatus) {
    const auto freeGB = [](const QString &path) {
        struct statvfs fs {};
        EXPECT_EQ(statvfs(QFile::encodeName(path).constData(), &fs), 0);
        return qint64(fs.f_bavail) * qint64(fs.f_frsize) / 1'000'000'000;
    };
    fake->loadedFrom = 0;
    const QString drive = inHome("drive");
    QDir().mkpath(drive);
    writeText(paths::statusFile(),
              statusJson({{"nvme_path", drive}, {"mounted", true}, {"nvme_free_gb", 999999}}));
    await(model.refreshAsync());
    ASSERT_TRUE(model.status());
    EXPECT_EQ(model.status()->internal_free_gb, freeGB(home()));
    EXPECT_EQ(model.status()->nvme_free_gb, freeGB(drive));
    EXPECT_EQ(model.status()->internal_total_gb, 999999); // only free space is measured
    const ServiceStatus first = *model.status();

    QFile::remove(paths::statusFile()); // between two rewrites of a running service
    await(model.refreshAsync());
    EXPECT_EQ(model.status(), first);
    EXPECT_FALSE(model.lastError());

    writeText(paths::statusFile(), statusJson({{"internal_free_gb", "lots"}}));
    await(model.refreshAsync());
    EXPECT_EQ(model.status(), first);
    EXPECT_TRUE(model.lastError().value_or("").contains("internal_free_gb"));

    fake->loadedFrom = -1;
    QFile::remove(paths::statusFile());
    await(model.refreshAsync());
    EXPECT_FALSE(model.serviceLoaded());
    EXPECT_FALSE(model.status());
}

TEST_F(StatusModelTest, ActionsSplitTheCommandAreTrackedAndReportA200CharacterExcerpt) {
    fake->loadedFrom = 0;
    writeText(paths::serviceScript(),
              "printf '%s|' \"$@\" >\"$HOME/.quindle/args\"\n"
              "while [[ ! -e \"$HOME/.quindle/go\" ]]; do sleep 0.02; done\n"
              "printf '\\n  %s%s  \\n\\n' \"$(printf 'x%.0s' {1..150})\" "
              "\"$(printf 'y%.0s' {1..150})\"\n"
              "exit 2\n");
    const QFuture<ProcessOutput> done = model.run("rollback  --yes");
    EXPECT_EQ(model.actionsInFlight(), QStringList({"rollback  --yes"}));
    // The redirection creates the file before printf fills it.
    ASSERT_TRUE(
        test::waitUntil([] { return !readText(paths::quindleDirectory() + "/args").isEmpty(); }));
    EXPECT_EQ(readText(paths::quindleDirectory() + "/args"), "rollback|--yes|");
    writeText(paths::quindleDirectory() + "/go", "");
    EXPECT_EQ(await(done).status, 2);
    const QString output = QString(150, 'x') + QString(150, 'y');
    EXPECT_EQ(model.actionOutput(), output);
    EXPECT_EQ(model.lastError(), "exit 2 — " + output.left(200));
    EXPECT_EQ(model.actionsInFlight(), QStringList());

    // Starting and stopping go through the service manager.
    fake->loadResult = {1, QString(250, 'e') + "\n"};
    EXPECT_EQ(await(model.startService()).status, 1);
    EXPECT_EQ(fake->loads, 1);
    EXPECT_EQ(model.lastError(), "Start failed: " + QString(200, 'e'));
    fake->unloadResult = {0, "stopped\n"};
    EXPECT_EQ(await(model.stopService()).status, 0);
    EXPECT_EQ(fake->unloads, 1);
    EXPECT_EQ(model.actionOutput(), "stopped");
    EXPECT_FALSE(model.lastError()); // the later success replaces the failure
    EXPECT_EQ(model.actionsInFlight(), QStringList());
}
