// The storage windows for a person to look at. The scan, the runs and the cloud folders answer
// from a wrapper around the real script (this machine has no home worth measuring and no cloud
// mount); the backups are the real service's.
#include "StorageScreenshots.h"

#include "core/StatePaths.h"
#include "insight/BackupStore.h"
#include "insight/CloudFolders.h"
#include "insight/FreeSpaceResult.h"
#include "insight/HistoryStore.h"
#include "insight/ServiceRun.h"
#include "insight/StorageScan.h"
#include "support/ScreenshotRun.h"
#include "ui/ChartsWindow.h"
#include "ui/ServiceRunWindow.h"
#include "ui/SettingsWindow.h"
#include "ui/StorageInspectorWindow.h"
#include "ui/WindowKind.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

#include <cmath>

using namespace quindle;
using ui::WindowKind;
using namespace test::screenshots;

namespace {

const QByteArray kStorageService = R"sh(#!/bin/bash
row() { printf '{"path":"%s","label":"%s","size_bytes":%s,"actionable":%s}\n' "$HOME/$1" "$1" "$2" "$3"; }
case "$1" in
scan-storage)
  echo '{"phase":"scanning","total_bytes":0,"probed":12}'
  row Videos 48210944000 true
  row .cache/pip 3418357760 true
  row Downloads 9125683200 true
  row .local/share/Steam 61847019520 true
  row .cache/mozilla 812453888 false
  row Documents 2147483648 true
  row .config 96468992 false
  row Music 18253611008 true
  row 'Projects/very-long-folder-name-that-keeps-going/and-going' 1073741824 true
  row .local/share/Trash 402653184 false
  printf '{"path":"%s","label":"Other small items","size_bytes":52428800,"actionable":false}\n' "$HOME"
  echo '{"phase":"done","total_bytes":145304268800,"probed":12,"rows":11}' ;;
move-dir)
  echo "Moving $2 (48.2 GB) to /run/media/sam/NVMe/QNDL-Sams-Laptop/Archive/Videos."
  echo "Moved $2 to /run/media/sam/NVMe/QNDL-Sams-Laptop/Archive/Videos (48.2 GB); it is a link to its copy now." ;;
free-space)
  echo "Rule 1 (archive_old): 214 files moved to the NVMe."
  echo "Rule 3 (delete_old) is left to the rules pass: this run never deletes."
  echo "Cleaned 38 cache entries of 4 apps."
  echo "Free Up Space finished: 214 entries moved and 38 cache entries cleaned; 61 GB are free now, 49 GB before."
  printf 'started_at=2026-12-06T09:00:00Z\nfinished_at=2026-12-06T09:04:12Z\nbefore_free_gb=49\nafter_free_gb=61\ndelta_gb=12\nfiles_moved=214\ncaches_cleaned=38\n' >"$HOME/.quindle/state/last-free-space.txt" ;;
optimize-icloud)
  echo "Kept $2/Notes/draft.md: it holds changes not yet uploaded."
  echo "Kept $2/Photos/2024/IMG_0412.jpg: it is open."
  echo "Evicted 1,284 files (6.1 GB) from the cloud folder $2; evicted files download again when opened."
  echo "Kept 2 files: 1 with changes not yet uploaded, 1 open."
  exit 1 ;;
list-cloud-roots)
  printf 'gdrive:Photos\t%s/Cloud/Photos\nnextbox:Work Documents\t%s/Cloud/Work\n' "$HOME" "$HOME" ;;
cloud-usage)
  case "$2" in */Photos) printf '6291456\t%s\n' "$2" ;; *) printf '734208\t%s\n' "$2" ;; esac ;;
*) exec /bin/bash "$HOME/.quindle/quindle-real.sh" "$@" ;;
esac
)sh";

// A year of daily snapshots: the internal disk filling and freed now and then, the drive away
// for a week, and the folders the daily scan measured.
void writeHistory(const QDateTime &now) {
    QByteArray lines;
    for (int day = 365; day >= 0; --day) {
        const QDateTime ts = now.addDays(-day).toUTC();
        const qint64 internalFree = 30 + (day * 7) % 90 + static_cast<qint64>(10 * std::sin(day));
        QJsonObject snapshot{
            {"ts", ts.toString(Qt::ISODate)},
            {"internal_free_gb", internalFree},
            {"internal_total_gb", 494},
            {"nvme_free_gb", 620 - (365 - day)},
            {"nvme_total_gb", day > 40 && day < 48 ? 0 : 953},
            {"cumulative_saved_bytes", (365 - day) * 1'250'000'000LL},
        };
        if (day < 3)
            snapshot.insert("dirs_mb",
                            QJsonObject{{QDir::homePath() + "/Videos", 45977},
                                        {QDir::homePath() + "/.local/share/Steam", 58982},
                                        {QDir::homePath() + "/Music", 17408},
                                        {QDir::homePath() + "/Downloads", 8703},
                                        {QDir::homePath() + "/.cache/pip", 3260},
                                        {QDir::homePath() + "/Documents", 2048},
                                        {QDir::homePath() + "/.cache/mozilla", 774}});
        lines += QJsonDocument(snapshot).toJson(QJsonDocument::Compact) + '\n';
    }
    writeFile(paths::historyFile(), lines);
}

void runUntilDone(ServiceRun &run, const QString &target, const char *what) {
    run.start(target);
    wait([&] { return !run.isRunning(); }, QString::fromLatin1(what));
}

void inspector() {
    StorageScan scan;
    ServiceRun move(ServiceRun::folderMove());
    {
        ui::StorageInspectorWindow window(scan, move, {});
        present(&window, WindowKind::StorageInspector); // the first showing scans
        wait([&] { return scan.isDone() && !scan.isRunning(); }, "the scan");
        save(&window, WindowKind::StorageInspector, "storage-inspector.png");
        for (QPushButton *button : window.findChildren<QPushButton *>())
            if (button->text() == "Move to NVMe") {
                button->click();
                break;
            }
        if (auto *box = window.findChild<QMessageBox *>()) {
            QApplication::processEvents();
            shoot(box, "storage-inspector-confirm.png");
            box->reject();
        } else {
            fail("no question before a move");
        }
    }
    runUntilDone(move, QDir::homePath() + "/Videos", "the move");
    ui::ServiceRunWindow window(move, ui::RunWindowTexts::folderMove());
    save(&window, WindowKind::FolderMove, "move-to-nvme.png");
}

void runs() {
    ServiceRun freeSpace(ServiceRun::freeSpace());
    {
        ui::ServiceRunWindow window(freeSpace, ui::RunWindowTexts::freeSpace());
        freeSpace.start();
        save(&window, WindowKind::FreeSpace, "free-space-running.png");
        wait([&] { return !freeSpace.isRunning(); }, "Free Up Space");
        save(&window, WindowKind::FreeSpace, "free-space-done.png");
    }
    ServiceRun optimisation(ServiceRun::cloudOptimisation());
    runUntilDone(optimisation, QDir::homePath() + "/Cloud/Photos", "the cloud folder");
    ui::ServiceRunWindow window(optimisation, ui::RunWindowTexts::cloudOptimisation());
    save(&window, WindowKind::CloudOptimisation, "cloud-optimisation-failed.png");
}

void charts() {
    HistoryStore history;
    {
        ui::ChartsWindow window(history);
        save(&window, WindowKind::Charts, "charts-not-enough.png");
    }
    writeHistory(QDateTime::currentDateTime());
    ui::ChartsWindow window(history);
    window.setTimeRange(ChartTimeRange::w2);
    save(&window, WindowKind::Charts, "charts-2w.png");
    window.setTimeRange(ChartTimeRange::mo3);
    save(&window, WindowKind::Charts, "charts-3mo.png");
    window.setTimeRange(ChartTimeRange::lifetime);
    save(&window, WindowKind::Charts, "charts-lifetime.png");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    window.setZoom(now.addDays(-60), now.addDays(-30));
    save(&window, WindowKind::Charts, "charts-zoomed.png");
}

void storageSettings() {
    CloudRoots roots;
    CloudUsageProbe usage;
    ServiceRun optimisation(ServiceRun::cloudOptimisation());
    BackupStore backups;
    backups.runBackupNowBlocking();
    ui::SettingsWindow window;
    window.addStorage({roots, usage, optimisation, backups, {}});
    present(&window, WindowKind::Settings);
    wait([&] { return roots.lastRefresh() && usage.lastRefresh(); }, "the cloud folders");
    for (int i = 0; i < window.tabs()->count(); ++i)
        if (window.tabs()->tabText(i) == "Cloud")
            window.tabs()->setCurrentIndex(i);
    save(&window, WindowKind::Settings, "settings-cloud.png");
    for (int i = 0; i < window.tabs()->count(); ++i)
        if (window.tabs()->tabText(i) == "Backups")
            window.tabs()->setCurrentIndex(i);
    backups.runBackupNow();
    wait([&] { return !backups.isBackingUpNow(); }, "the backup");
    save(&window, WindowKind::Settings, "settings-backups.png");
}

} // namespace

void storageScreenshots() {
    const QString dir = paths::quindleDirectory();
    QFile::copy(dir + "/quindle.sh", dir + "/quindle-real.sh");
    QFile::remove(dir + "/quindle.sh");
    writeFile(dir + "/quindle.sh", kStorageService, true);

    inspector();
    runs();
    charts();
    storageSettings();

    QFile::remove(dir + "/quindle.sh");
    QFile::rename(dir + "/quindle-real.sh", dir + "/quindle.sh");
}
