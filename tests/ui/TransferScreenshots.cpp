// Renders the Transfers window in each job state, the New Transfer form and the banners to PNG:
// transfer_screenshots [folder] (default: docs/screenshots in the source tree). A small stand-in
// for rclone reports progress and then waits, so the running state is a real run.

#include "support/ScreenshotRun.h"
#include "transfers/JobStore.h"
#include "transfers/SyncManager.h"
#include "ui/NewTransferDialog.h"
#include "ui/TransfersWindow.h"
#include "ui/WindowKind.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

using namespace quindle;
using ui::WindowKind;
using namespace test::screenshots;

namespace {

const QByteArray kRclone = R"sh(#!/bin/bash
case "$1" in
version) echo "rclone v1.60.1-DEV" ;;
listremotes) echo "gdrive: drive"; echo "photos-b2: b2" ;;
*)
  echo '{"level":"info","msg":"Starting bandwidth limiter at 10Mi Byte/s"}' >&2
  echo '{"level":"info","msg":"Copied (new)","object":"2024/IMG_0412.jpg"}' >&2
  echo '{"level":"info","msg":"x","stats":{"bytes":734003200,"totalBytes":2147483648,"transfers":212,"totalTransfers":640,"speed":10485760,"eta":135,"errors":0,"transferring":[{"name":"2024/IMG_0977.jpg"}]}}' >&2
  exec sleep 600 ;;
esac
)sh";

SyncJob sample(JobMode mode, const QString &source, const QString &destination, JobState state) {
    SyncJob job(mode, source, destination);
    job.state = state;
    job.createdAt = QDateTime::currentDateTimeUtc().addSecs(-3600);
    return job;
}

void showJob(ui::TransfersWindow &window, const SyncJob &job, const QString &file) {
    window.resize(ui::openingSize(WindowKind::Transfers, window.font(), {}));
    window.show();
    window.select(job.id);
    QApplication::processEvents();
    shoot(&window, file);
}

} // namespace

int main(int argc, char **argv) {
    const Options options =
        parse(argc, argv, QStringLiteral(QUINDLE_SOURCE_DIR "/docs/screenshots"));
    QApplication app(argc, argv);
    begin(QStringLiteral("transfer_screenshots"), options);

    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/sam-XXXXXX"));
    qputenv("HOME", home.path().toLocal8Bit());
    for (const char *name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qunsetenv(name);
    const QString rclone = home.path() + QStringLiteral("/bin/rclone");
    writeFile(rclone, kRclone, true);
    qputenv("QUINDLE_RCLONE", rclone.toLocal8Bit());
    const QString drive = home.path() + QStringLiteral("/NVMe");
    writeFile(home.path() + QStringLiteral("/.quindle/state/status.json"),
              QStringLiteral(R"({"nvme_path": "%1", "mounted": false})").arg(drive).toUtf8());
    const QString photos = home.path() + QStringLiteral("/Pictures");

    SyncJob running =
        sample(JobMode::Copy, photos, QStringLiteral("gdrive:Backup/Pictures"), JobState::Queued);
    running.bandwidthLimit = QStringLiteral("10M");
    SyncJob queued = sample(JobMode::Move, home.path() + QStringLiteral("/Downloads/Installers"),
                            QStringLiteral("photos-b2:archive/installers"), JobState::Queued);
    SyncJob scheduled = sample(JobMode::SyncOneWay, home.path() + QStringLiteral("/Documents"),
                               QStringLiteral("gdrive:Documents"), JobState::Queued);
    scheduled.schedule = Schedule::daily(3, 0);
    SyncJob paused = sample(JobMode::Copy, home.path() + QStringLiteral("/Videos"),
                            QStringLiteral("gdrive:Videos"), JobState::Paused);
    paused.progress = {1288490188, 4294967296, 3, 11, 0, std::nullopt, std::nullopt, 0};
    SyncJob waiting = sample(JobMode::Copy, drive + QStringLiteral("/Archive/2023"),
                             QStringLiteral("photos-b2:archive/2023"), JobState::WaitingForDrive);
    SyncJob completed = sample(JobMode::Bisync, home.path() + QStringLiteral("/Notes"),
                               QStringLiteral("gdrive:Notes"), JobState::Completed);
    completed.progress = {52428800, 52428800, 48, 48, 0, std::nullopt, std::nullopt, 0};
    completed.schedule = Schedule::hourly(6);
    completed.lastScheduledRun = QDateTime::currentDateTimeUtc().addSecs(-600);
    completed.missedRuns = 3;
    SyncJob failed = sample(JobMode::Copy, photos, home.path() + QStringLiteral("/notes.txt/sub"),
                            JobState::Failed);
    failed.errorMessage = QStringLiteral(
        "rclone exited with code 1. Last log lines:\nERROR: IMG_0412.jpg: Failed to copy: mkdir "
        "/home/sam/notes.txt: not a directory\nERROR: Attempt 3/3 failed with 2 errors and: "
        "mkdir /home/sam/notes.txt: not a directory\nFailed to copy with 2 errors: last error was: "
        "mkdir /home/sam/notes.txt: not a directory");
    SyncJob canceled = sample(JobMode::Move, home.path() + QStringLiteral("/Music"),
                              QStringLiteral("gdrive:Music"), JobState::Canceled);
    canceled.errorMessage = QStringLiteral("Cancelled while waiting for external drive.");
    JobStore::save({queued, running, scheduled, paused, waiting, completed, failed, canceled});

    {
        SyncManager manager(nullptr);
        manager.start();
        wait([&] { return manager.runningCount() == 2; }, "two runs");
        wait([&] { return manager.job(running.id)->progress.bytesTotal > 0; }, "progress");
        ui::TransfersWindow window(manager);
        showJob(window, *manager.job(running.id), QStringLiteral("transfers-running.png"));
        // The dispatcher started the two oldest; a third stays queued.
        const SyncJob third = sample(JobMode::Copy, home.path() + QStringLiteral("/Projects"),
                                     QStringLiteral("gdrive:Projects"), JobState::Queued);
        manager.enqueue(third);
        showJob(window, *manager.job(third.id), QStringLiteral("transfers-queued.png"));
        showJob(window, paused, QStringLiteral("transfers-paused.png"));
        showJob(window, waiting, QStringLiteral("transfers-waiting.png"));
        showJob(window, completed, QStringLiteral("transfers-completed.png"));
        showJob(window, failed, QStringLiteral("transfers-failed.png"));
        showJob(window, canceled, QStringLiteral("transfers-canceled.png"));

        ui::NewTransferDialog dialog(manager, &window);
        const auto field = [&](const QString &name) {
            for (QLineEdit *edit : dialog.findChildren<QLineEdit *>())
                if (edit->accessibleName() == name)
                    return edit;
            fail(QStringLiteral("no field named ") + name);
            return new QLineEdit(&dialog);
        };
        field(QStringLiteral("Source"))->setText(photos);
        for (QLineEdit *edit : dialog.findChildren<QLineEdit *>())
            if (edit->accessibleName() == QStringLiteral("Destination"))
                edit->setText(QStringLiteral("gdrive:Backup/Pictures"));
            else if (edit->accessibleName() == QStringLiteral("Bandwidth limit"))
                edit->setText(QStringLiteral("10M"));
        for (QComboBox *box : dialog.findChildren<QComboBox *>())
            if (box->accessibleName() == QStringLiteral("Schedule"))
                box->setCurrentIndex(4);
        dialog.show();
        QApplication::processEvents();
        dialog.resize(dialog.minimumSize());
        QApplication::processEvents();
        shoot(&dialog, QStringLiteral("transfers-new.png"));
        for (QComboBox *box : dialog.findChildren<QComboBox *>())
            if (box->accessibleName() == QStringLiteral("Mode"))
                box->setCurrentIndex(3);
        field(QStringLiteral("Source"))->setText(QStringLiteral("Pictures"));
        dialog.submit(); // a relative path: refused with its reason
        QApplication::processEvents();
        dialog.resize(dialog.minimumSize());
        QApplication::processEvents();
        shoot(&dialog, QStringLiteral("transfers-new-bisync-refused.png"));
        dialog.reject();
    }

    // No rclone, and a transfers file with a damaged record.
    qputenv("QUINDLE_RCLONE", (home.path() + QStringLiteral("/bin/none")).toLocal8Bit());
    writeFile(JobStore::jobsFile(), "[{\"id\": \"not a job\"}]");
    {
        SyncManager manager(nullptr);
        manager.start();
        wait([&] { return manager.rcloneProbed(); }, "the rclone probe");
        ui::TransfersWindow window(manager);
        window.resize(ui::openingSize(WindowKind::Transfers, window.font(), {}));
        window.show();
        QApplication::processEvents();
        shoot(&window, QStringLiteral("transfers-banner.png"));
    }
    return exitCode();
}
