// Renders the popover in its main states to PNG for a person to look at:
// popover_screenshots [--font-size PT] [--palette light|dark] [--scale FACTOR] [folder]
// (default: docs/screenshots in the source tree).
#include "core/RecentNotices.h"
#include "core/ServiceScripts.h"
#include "core/StatePaths.h"
#include "core/StatusModel.h"
#include "insight/FreeSpaceResult.h"
#include "insight/FstabAuditor.h"
#include "insight/PopoverModel.h"
#include "insight/ServiceRun.h"
#include "mover/LocalFolderMover.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "platform/VolumeLocations.h"
#include "support/FakeServiceManager.h"
#include "support/FakeVolumeWatcher.h"
#include "support/ScreenshotRun.h"
#include "support/WaitUntil.h"
#include "ui/Confirmation.h"
#include "ui/PopoverView.h"
#include "ui/TrayIconArt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>

using namespace quindle;
namespace screenshots = quindle::test::screenshots;

namespace {

bool refresh(StatusModel &model, const QJsonObject &overrides) {
    QJsonObject status{{"timestamp", "2026-12-06T10:00:00Z"},
                       {"version", 1},
                       {"nvme_path", "/media/alex/NVMe"},
                       {"mounted", true},
                       {"marker_ok", true},
                       {"nvme_free_gb", 612},
                       {"nvme_total_gb", 1000},
                       {"internal_free_gb", 120},
                       {"internal_total_gb", 500},
                       {"idle_secs", 340},
                       {"quiet_hours", true},
                       {"paused", false},
                       {"auto_enabled", true},
                       {"low_space_warn_gb", 40},
                       {"low_space_critical_gb", 15},
                       {"auto_relocate_hour", 3},
                       {"quiet_hours_blocked", "9-19"},
                       {"rule_count", 3},
                       {"app_cache_path_count", 2},
                       {"on_battery", true},
                       {"battery_pct", 78},
                       {"last_run", "2026-12-06T03:00:12Z"}};
    for (auto it = overrides.begin(); it != overrides.end(); ++it)
        status.insert(it.key(), it.value());
    screenshots::writeFile(paths::statusFile(), QJsonDocument(status).toJson());
    bool done = false;
    model.refreshAsync().then(&model, [&] { done = true; });
    return test::waitUntil([&] { return done; });
}

} // namespace

int main(int argc, char **argv) {
    const screenshots::Options options =
        screenshots::parse(argc, argv, QStringLiteral(QUINDLE_SOURCE_DIR "/docs/screenshots"));
    QApplication app(argc, argv);
    screenshots::begin("popover_screenshots", options);
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config"));
    screenshots::writeFile(
        paths::serviceScript(),
        "#!/bin/bash\necho \"Dry run: would move 14 files (2.1 GB); nothing was changed.\"\n");

    auto manager = std::make_shared<test::FakeServiceManager>(home.path() + "/unit");
    manager->loadedFrom = 0;
    StatusModel model([manager] { return manager; });
    MoverLog log;
    MoverSettings settings;
    test::FakeVolumeWatcher volumes;
    LocalFolderMover mover(log, settings, &volumes);
    const QString fstabFile = home.path() + "/fstab";
    FstabAuditor fstab(fstabFile);
    PopoverModel popover(model, mover, &fstab);
    QMessageBox *question = nullptr;
    ui::PopoverActions actions;
    actions.confirm = [&](const QString &title, const QString &text, const QString &confirm,
                          const std::function<void()> &) {
        question = ui::openConfirmation(nullptr,
                                        {.windowTitle = title,
                                         .question = title,
                                         .details = text,
                                         .confirmLabel = confirm,
                                         .confirmHint = {}},
                                        [](bool) {});
    };
    RecentNotices notices;
    actions.recentNotices = &notices;
    ServiceRun freeSpace(ServiceRun::freeSpace());
    FreeSpaceResult freeSpaceResult;
    actions.freeSpace = &freeSpace;
    actions.freeSpaceResult = &freeSpaceResult;
    ui::PopoverView view(popover, actions);
    view.show();

    const auto shoot = [&](const char *name, const QJsonObject &overrides) {
        if (!refresh(model, overrides))
            screenshots::fail(QStringLiteral("no status for ") + QLatin1String(name));
        QApplication::processEvents();
        view.resize(view.fittingSize({1280, 900})); // as the tray sizes it when it opens
        screenshots::shoot(&view, QStringLiteral("popover-%1.png").arg(QLatin1String(name)));
    };
    shoot("normal", {});
    shoot("paused", {{"paused", true}, {"quiet_hours", false}, {"on_battery", false}});
    shoot("drive-missing", {{"mounted", false}, {"marker_ok", false}, {"internal_free_gb", 30}});
    // The output of an action, under the normal state.
    bool ran = false;
    model.run("dry-run").then(&model, [&](const ProcessOutput &) { ran = true; });
    screenshots::wait([&] { return ran; }, "the dry run");
    shoot("output", {});
    // What a destructive button asks first.
    view.commandButton(service::rollback)->click();
    screenshots::wait([&] { return question != nullptr; }, "the question");
    if (question) {
        question->resize(question->sizeHint());
        screenshots::shoot(question, "popover-confirm.png");
        question->close();
    }
    question = nullptr;
    view.commandButton(service::ejectNVMe)->click();
    screenshots::wait([&] { return question != nullptr; }, "the eject question");
    if (question) {
        question->resize(question->sizeHint());
        screenshots::shoot(question, "popover-eject-confirm.png");
        question->close();
    }
    // A line an earlier install left in the file system table, and what removing it asks.
    screenshots::writeFile(fstabFile, "UUID=2 " + platform::defaultNVMePath().toUtf8() +
                                          " ext4 defaults 0 2\n");
    fstab.refresh();
    screenshots::wait([&] { return fstab.hasLegacyEntry(); }, "the fstab line");
    shoot("fstab", {});
    question = nullptr;
    for (QLabel *label : view.findChildren<QLabel *>())
        if (label->accessibleName() == "fstab entry")
            Q_EMIT label->linkActivated("remove");
    if (question) {
        question->resize(question->sizeHint());
        screenshots::shoot(question, "popover-fstab-confirm.png");
        question->close();
    }
    // The last Free Up Space run's result, until it is dismissed.
    screenshots::writeFile(paths::lastFreeSpaceFile(),
                           "before_free_gb=49\nafter_free_gb=61\ndelta_gb=12\nfiles_moved=214\n"
                           "caches_cleaned=38\n");
    freeSpaceResult.reload();
    shoot("free-space-banner", {});
    freeSpaceResult.acknowledge();
    // The footer's menus, open.
    for (QToolButton *button : view.findChildren<QToolButton *>()) {
        if (!button->menu())
            continue;
        QMenu *menu = button->menu();
        menu->popup(button->mapToGlobal(QPoint(0, button->height())));
        QApplication::processEvents();
        screenshots::shoot(menu, QStringLiteral("popover-menu-%1.png")
                                     .arg(button->text().toLower().replace(u' ', u'-')));
        menu->close();
    }
    // Notices the desktop could not show, listed under the output.
    notices.add({{"Quindle — rules pass done", "Moved 3 entries (2.1 GB) to the NVMe.", {}},
                 QDateTime::currentDateTimeUtc(),
                 NoticeRoute::StandardError});
    refresh(model, {});
    QApplication::processEvents();
    view.resize(view.fittingSize({1280, 900}));
    for (QScrollArea *page : view.findChildren<QScrollArea *>())
        page->verticalScrollBar()->setValue(page->verticalScrollBar()->maximum());
    screenshots::shoot(&view, "popover-notices.png");
    // The tray icon in each look, on a light and a dark panel, at scale 1, 1.5 and 2.
    {
        const QList<ui::DotLook> looks{{},
                                       {true, ui::Tone::Good, true},
                                       {true, ui::Tone::Warning, false},
                                       {true, ui::Tone::Bad, false}};
        const QColor panels[] = {QColor(0xf6, 0xf5, 0xf4), QColor(0x24, 0x24, 0x24)};
        const qreal ratios[] = {1.0, 1.5, 2.0};
        QPixmap sheet(int(looks.size()) * 3 * 48, 2 * 48);
        QPainter painter(&sheet);
        for (int row = 0; row < 2; ++row)
            for (int look = 0; look < looks.size(); ++look)
                for (int scale = 0; scale < 3; ++scale) {
                    const QRect cell((look * 3 + scale) * 48, row * 48, 48, 48);
                    painter.fillRect(cell, panels[row]);
                    QPixmap icon =
                        ui::trayIcon(looks[look], true).pixmap(QSize(22, 22), ratios[scale]);
                    icon.setDevicePixelRatio(1.0); // its own pixels, as that screen shows them
                    painter.drawPixmap(cell.center() - QPoint(icon.width(), icon.height()) / 2,
                                       icon);
                }
        painter.end();
        screenshots::save(sheet, "tray-icons.png");
    }
    return screenshots::exitCode();
}
