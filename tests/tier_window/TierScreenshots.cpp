// Renders the Tier window and its popovers to PNG files a person can look at:
// tier_window_screenshots [folder] (default: docs/screenshots in the source tree).
//
// Everything behind the pictures is real: a temporary home, a spare folder as the drive, move
// manifests on disk that the real mover loads, and a bandwidth-limited rsync so one copy is still
// under way when the window is drawn.

#include "core/DriveIdentity.h"
#include "core/StatePaths.h"
#include "mover/LocalFolderMover.h"
#include "mover/ManifestStore.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "mover/RsyncSupport.h"
#include "support/ClippedWidgets.h"
#include "support/FixedDriveReport.h"
#include "support/ScreenshotRun.h"
#include "support/WaitUntil.h"
#include "tier/PairHistory.h"
#include "tier/PairingModel.h"
#include "tier/RsyncBanner.h"
#include "tier/TierOperations.h"
#include "ui/ManifestsPanel.h"
#include "ui/Popover.h"
#include "ui/TierPane.h"
#include "ui/TierWindow.h"
#include "ui/WindowKind.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

using namespace quindle;
using namespace quindle::test::screenshots;

namespace {

// The window with a popover open over it, as a person would see it.
QPixmap withPopover(
    QWidget *window, ui::PopoverButton *button,
    const std::function<bool()> &ready = [] { return true; }) {
    button->popover()->open();
    wait(ready, button->text());
    QApplication::processEvents();
    for (const QString &clipped : test::clippedWidgets(button->popover()))
        fail(button->text() + QStringLiteral(" popover: cut off: ") + clipped);
    QPixmap picture = window->grab();
    const QPixmap popover = button->popover()->grab();
    const QPoint at = button->popover()->pos() - window->mapToGlobal(QPoint(0, 0));
    QPainter painter(&picture);
    painter.setPen(Qt::NoPen);
    for (int spread = 6; spread > 0; --spread) { // a soft shadow
        painter.setBrush(QColor(0, 0, 0, 10));
        painter.drawRoundedRect(
            QRect(at, popover.size()).adjusted(-spread + 2, -spread + 4, spread + 2, spread + 4),
            spread, spread);
    }
    painter.drawPixmap(at, popover);
    painter.end();
    button->popover()->close();
    QApplication::processEvents();
    return picture;
}

MoveManifest manifest(const QString &src, const QString &dstParent, MovePhase phase,
                      int minutesAgo) {
    MoveManifest m;
    m.id = QUuid::createUuid();
    m.src = src;
    m.dstParent = dstParent;
    m.finalDst = dstParent + u'/' + QFileInfo(src).fileName();
    m.startedAt = QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo);
    m.updatedAt = m.startedAt;
    m.phase = phase;
    return m;
}

} // namespace

int main(int argc, char **argv) {
    const Options options =
        parse(argc, argv, QStringLiteral(QUINDLE_SOURCE_DIR "/docs/screenshots"));
    QApplication app(argc, argv);
    begin("tier_window_screenshots", options);

    QTemporaryDir root(QDir::tempPath() + "/quindle-tier-shots-XXXXXX");
    const QString home = root.path() + "/home/sam";
    const QString drive = root.path() + "/media/sam/NVMe";
    QDir().mkpath(home);
    QDir().mkpath(drive);
    qputenv("HOME", home.toLocal8Bit());
    for (const char *name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qunsetenv(name);
    writeFile(paths::statusFile(),
              QStringLiteral(R"({"nvme_path": "%1", "mounted": true, "nvme_uuid": "UUID-A"})")
                  .arg(drive)
                  .toUtf8());
    // The spare folder counts as the mounted drive.
    writeFile(paths::configFile(),
              QStringLiteral("NVMe=\"%1\"\nNVME_REQUIRE_MOUNTPOINT=0\n").arg(drive).toUtf8());
    writeFile(markerFile(drive), "volume_uuid=UUID-A\n");

    // Slow enough that one copy is still running when the window is drawn.
    const QString rsync = root.path() + "/bin/slow-rsync";
    writeFile(rsync,
              "#!/bin/bash\n[[ $1 == --version ]] && exec /usr/bin/rsync --version\n"
              "exec /usr/bin/rsync --bwlimit=300 \"$@\"\n",
              true);
    qputenv("QUINDLE_RSYNC", rsync.toLocal8Bit());
    {
        QObject context;
        bool probed = false;
        RsyncSupport::reprobe(&context, [&] { probed = true; });
        wait([&] { return probed; }, "the rsync probe");
    }

    const QString left = home + "/Projects";
    const QString right = drive + "/Projects";
    for (const QString &folder : QStringList{"quindle/src", "website/assets", "photo-library",
                                             "datasets", "vm-images", "videos", "notes"})
        QDir().mkpath(left + u'/' + folder);
    writeFile(left + "/README.md", QByteArray(2400, 'r'));
    writeFile(left + "/budget-2024.ods", QByteArray(48200, 'b'));
    writeFile(left + "/datasets/census.csv", QByteArray(6 * 1024 * 1024, 'c'));
    writeFile(left + "/vm-images/debian.qcow2", QByteArray(90000, 'v'));
    writeFile(left + "/videos/trip.mkv", QByteArray(70000, 'm'));
    QDir().mkpath(right + "/old-builds");
    QDir().mkpath(right + "/archive-2021");
    writeFile(right + "/old-builds/build.log", QByteArray(1200, 'l'));

    // The queue as the mover finds it at launch: one move done, one copy to resume, one waiting
    // for a drive that is not there, one failed.
    MoveManifest done = manifest(left + "/old-builds", right, MovePhase::Done, 90);
    done.fractionAtLastWrite = 1;
    done.completedAt = done.startedAt.addSecs(40);
    done.srcSizeKB = 1200;
    ManifestStore::write(done);
    MoveManifest failed = manifest(left + "/vm-images", right, MovePhase::Failed, 60);
    failed.fractionAtLastWrite = 1;
    failed.lastError = "Post-copy size sanity check failed. Source preserved.";
    failed.conflictPolicy = MoveConflictPolicy::Override;
    ManifestStore::write(failed);
    MoveManifest waiting = manifest(left + "/videos", root.path() + "/media/sam/T7/Projects",
                                    MovePhase::WaitingForDrive, 30);
    waiting.fractionAtLastWrite = 0.62;
    waiting.statusMessage = "Destination drive disappeared mid-move. Will resume on reconnect.";
    ManifestStore::write(waiting);
    MoveManifest copying = manifest(left + "/datasets", right, MovePhase::Copying, 5);
    copying.replaceSourceWithSymlink = true;
    copying.conflictPolicy = MoveConflictPolicy::Override;
    ManifestStore::write(copying);

    MoverLog log;
    MoverSettings settings;
    LocalFolderMover mover(log, settings, nullptr);
    PairHistory history;
    const auto remember = [&](const QString &l, const QString &r) { history.record(l, r); };
    remember(home + "/Music", drive + "/Music");
    remember(home + "/Documents/Scans", drive + "/Documents/Scans");
    remember(home + "/Videos", drive + "/Videos");
    remember(home + "/.local/share/Steam", drive + "/Games/Steam");
    test::FixedDriveReport driveReport;
    driveReport.path = drive;
    PairingModel pairing(history, driveReport);
    pairing.setPaths(left, right);
    pairing.pair();
    history.setPinned(*history.find(home + "/Music", drive + "/Music"), true);
    TierOperations operations(pairing, mover);
    RsyncBanner banner;

    ui::TierWindow window(pairing, operations, banner, mover, settings, log, history);
    window.resize(ui::openingSize(ui::WindowKind::Tier, window.font(), {}));
    window.show();
    wait(
        [&] {
            return window.pane(Side::Left)->shownFolder() == left &&
                   window.pane(Side::Right)->shownFolder() == right;
        },
        "the listings");
    pairing.setSelection(Side::Left, {"photo-library", "notes"});
    wait(
        [&] {
            const std::optional<MoveJob> job = mover.job(copying.id);
            return job && job->manifest.fractionAtLastWrite > 0.35;
        },
        "the copy to get under way");
    QApplication::processEvents();
    shoot(&window, "tier-paired.png");

    save(withPopover(&window, window.recentPairsButton()), "tier-recent-pairs.png");
    save(withPopover(&window, window.settingsButton()), "tier-settings.png");
    bool manifestsRead = false;
    QObject::connect(
        static_cast<ui::ManifestsPanel *>(window.manifestsButton()->popover()->content()),
        &ui::ManifestsPanel::presented, [&] { manifestsRead = true; });
    save(withPopover(&window, window.manifestsButton(), [&] { return manifestsRead; }),
         "tier-manifests.png");
    save(withPopover(&window, window.logButton()), "tier-log.png");

    // Without GNU rsync the banner explains why the arrows are off.
    qputenv("QUINDLE_RSYNC", (root.path() + "/bin/no-rsync").toLocal8Bit());
    banner.reloadProbe();
    wait([&] { return !banner.isReloading() && banner.isVisible(); }, "the banner");
    QApplication::processEvents();
    shoot(&window, "tier-rsync-banner.png");

    // The right pane on a cloud account, listed by a real rclone through an alias remote.
    const QString cloud = root.path() + "/cloud";
    for (const QString &folder : QStringList{
             "Projects/photo-library", "Projects/Shared with family", "Projects/2023 tax return"})
        QDir().mkpath(cloud + u'/' + folder);
    writeFile(cloud + "/Projects/trip-itinerary.pdf", QByteArray(184000, 'p'));
    writeFile(home + "/rclone.conf",
              QStringLiteral("[gdrive]\ntype = alias\nremote = %1\n").arg(cloud).toUtf8());
    qputenv("RCLONE_CONFIG", (home + "/rclone.conf").toLocal8Bit());
    qputenv("QUINDLE_RSYNC", rsync.toLocal8Bit());
    banner.reloadProbe();
    wait([&] { return !banner.isReloading() && !banner.isVisible(); }, "the banner to go");
    pairing.dropPair();
    pairing.setPath(Side::Right, "gdrive:Projects");
    wait([&] { return window.pane(Side::Right)->shownNames().size() == 4; }, "the cloud listing");
    QApplication::processEvents();
    shoot(&window, "tier-cloud-pane.png");
    pairing.setPath(Side::Right, "gdrive:Missing");
    wait(
        [&] {
            return !window.pane(Side::Right)->statusText().isEmpty() &&
                   !window.pane(Side::Right)->statusText().startsWith("Fetching");
        },
        "the failed listing");
    QApplication::processEvents();
    shoot(&window, "tier-cloud-failed.png");

    mover.stopForQuit();
    return exitCode();
}
