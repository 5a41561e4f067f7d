// Renders the Apps window with sample apps, moves and moved apps to PNG files a person can look
// at: apps_screenshots [folder] (default: docs/screenshots in the source tree).

#include "apps/AppManifestStore.h"
#include "apps/AppsWindowModel.h"
#include "core/StatePaths.h"
#include "mover/MoverLog.h"
#include "support/ScreenshotRun.h"
#include "ui/AppsRootsDialog.h"
#include "ui/AppsWindow.h"
#include "ui/WindowKind.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

using namespace quindle;
using namespace test::screenshots;

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 3, 10), QTime(12, 0));

AppEntry sample(const QString &root, const QString &name, std::optional<int> daysUnused,
                qint64 megabytes) {
    AppEntry e;
    e.root = root;
    e.path = root + u'/' + name;
    e.id = e.path;
    e.displayName = name;
    e.sizeBytes = megabytes * 1'000'000;
    if (daysUnused)
        e.lastUsedAt = kNow.addDays(-*daysUnused);
    return e;
}

AppScan sampleScan(const QString &home) {
    const QString mine = home + "/Applications";
    AppScan scan;
    AppEntry studio = sample(mine, "Android Studio", 120, 2900);
    AppEntry blender = sample(mine, "Blender", 45, 980);
    blender.bundleID = "org.blender.Blender";
    blender.id = *blender.bundleID;
    AppEntry tor = sample(mine, "tor-browser", std::nullopt, 310);
    AppEntry sync = sample(mine, "SyncAgent", 200, 150);
    AppEntry chrome = sample("/opt", "google", 400, 420);
    chrome.packageOwner = "google-chrome-stable";
    AppEntry vendor = sample("/opt", "VendorSuite", 90, 1600);
    vendor.accessProblem = "Moving it needs administrator rights: /opt is not "
                           "writable for you; choose an apps root you own.";
    vendor.rootNotWritable = true;
    AppEntry helper = sample(mine, "NetProbe", 60, 40);
    helper.privilegedProgram = mine + "/NetProbe/bin/probe-helper";
    scan.entries = {tor, studio, blender, sync, chrome, vendor, helper};
    scan.facts.favouriteIDs = {*blender.bundleID};
    scan.facts.startupFiles = {{sync.path, "sync-agent.service"}};
    return scan;
}

// Manifests of moves in several phases and a ledger of moved apps, as a previous run left them.
void writeRecords(const QString &home) {
    const QString gone = home + "/NVMe-unplugged/Apps";
    const QList<std::tuple<QString, AppMovePhase, QString, QString>> records{
        {"Krita", AppMovePhase::WaitingForDrive, QString(),
         "NVMe disappeared mid-move. Will resume on reconnect."},
        {"Zoom", AppMovePhase::Failed,
         "The app is running (zoom, PID 48211). Quit it and try again. Rolled "
         "back the destination; original preserved.",
         QString()},
    };
    for (const auto &[name, phase, error, status] : records) {
        AppMoveManifest m;
        m.id = QUuid::createUuid();
        m.originalPath = home + QStringLiteral("/Applications/") + name;
        m.nvmePath = gone + u'/' + name;
        m.displayName = name;
        m.startedAt = kNow;
        m.phase = phase;
        m.direction = AppMoveDirection::ToNVMe;
        if (!error.isEmpty())
            m.lastError = error;
        if (!status.isEmpty())
            m.statusMessage = status;
        AppManifestStore::write(m);
    }
    MovedAppsLedger::save({
        {"org.gimp.GIMP", home + "/Applications/GIMP", "/run/media/sam/NVMe/Apps/GIMP", "GIMP",
         412'000'000, kNow.addDays(-12)},
        {std::nullopt, home + "/Applications/Unity Hub", "/run/media/sam/NVMe/Apps/Unity Hub",
         "Unity Hub", 7'300'000'000, kNow.addDays(-3)},
    });
}

void show(QWidget *window) {
    window->resize(ui::openingSize(ui::WindowKind::Apps, window->font(), {}));
    window->show();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char **argv) {
    const Options options =
        parse(argc, argv, QStringLiteral(QUINDLE_SOURCE_DIR "/docs/screenshots"));
    QApplication app(argc, argv);
    begin("apps_screenshots", options);

    QTemporaryDir home(QDir::tempPath() + "/sam-XXXXXX");
    qputenv("HOME", home.path().toLocal8Bit());
    for (const char *name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qunsetenv(name);
    const QString drive = home.path() + "/NVMe";
    QDir().mkpath(drive);
    writeRecords(home.path());

    MoverLog log;
    AppRelocator relocator(log, nullptr);
    const AppScan scan = sampleScan(home.path());
    AppsWindowModel model(
        relocator, [&] { return drive; }, [&] { return scan; });
    model.setNow(kNow);
    model.rescan();
    wait([&] { return !model.isScanning(); }, "the scan");
    ui::AppsWindow window(model);
    show(&window);
    model.selectAllEligible();
    shoot(&window, "apps-available.png");

    model.setMinDaysFilter(365);
    model.setHideRunning(true);
    shoot(&window, "apps-filtered-empty.png");
    model.setMinDaysFilter(AppsWindowModel::defaultMinDays);

    model.setTab(AppsWindowModel::Tab::Moved);
    shoot(&window, "apps-moved.png");

    {
        const QString mine = home.path() + "/Applications";
        ui::AppsRootsDialog roots(
            {mine, "/opt", "/srv/shared apps"}, {mine, "/opt"},
            [](const QStringList &) { return std::nullopt; },
            [](QWidget *, const QString &, const QString &, auto) {});
        roots.show();
        QApplication::processEvents();
        shoot(&roots, "apps-roots.png");
    }

    {
        const QString empty = home.path() + "/empty";
        qputenv("HOME", empty.toLocal8Bit());
        AppRelocator none(log, nullptr);
        AppsWindowModel bare(
            none, [] { return QString(); }, [] { return AppScan{}; });
        bare.rescan();
        wait([&] { return !bare.isScanning(); }, "the empty scan");
        ui::AppsWindow nothing(bare);
        show(&nothing);
        shoot(&nothing, "apps-no-drive.png");
        bare.setTab(AppsWindowModel::Tab::Moved);
        shoot(&nothing, "apps-moved-empty.png");
    }
    return exitCode();
}
