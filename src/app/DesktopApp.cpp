#include "app/CommandLine.h"

#include "app/AppContext.h"
#include "app/EngineLock.h"
#include "app/LaunchSequence.h"
#include "app/WindowRegistry.h"
#include "apps/AppsWindowModel.h"
#include "core/AppsRoots.h"
#include "core/Installer.h"
#include "core/UninstallWizardModel.h"
#include "ui/AppsRootsDialog.h"
#include "ui/AppsWindow.h"
#include "ui/ChartsWindow.h"
#include "ui/ChooseDriveWindow.h"
#include "ui/DocumentWindow.h"
#include "ui/InspectWindow.h"
#include "ui/LogWindow.h"
#include "ui/RemotesWindow.h"
#include "ui/RulesConfigWindow.h"
#include "ui/ServiceRunWindow.h"
#include "ui/SettingsWindow.h"
#include "ui/ShareExperienceWindow.h"
#include "ui/StorageInspectorWindow.h"
#include "ui/TierWindow.h"
#include "ui/TransfersWindow.h"
#include "ui/TrayIconArt.h"
#include "ui/UninstallWindow.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>

namespace quindle {

int runDesktop(QApplication &app) {
    app.setQuitOnLastWindowClosed(false); // the tray keeps the application alive
    app.setWindowIcon(ui::applicationIcon());

    std::unique_ptr<QLockFile> lock = takeEngineLock();
    if (!lock) {
        QMessageBox::information(
            nullptr, QStringLiteral("Quindle"),
            QStringLiteral("Quindle is already running. Look for its icon in the system tray."));
        return 1;
    }

    AppContext context;
    if (const std::optional<QString> install = Installer::installFolder())
        AutoUpdater::removeLeftovers(*install, std::chrono::minutes(10));
    WindowRegistry windows;
    windows.setFactory(ui::WindowKind::Log, [&] { return new ui::LogWindow(context.serviceLog); });
    windows.setFactory(ui::WindowKind::Inspect,
                       [&] { return new ui::InspectWindow(context.inspector); });
    windows.setFactory(ui::WindowKind::ChooseDrive,
                       [&] { return new ui::ChooseDriveWindow(context.driveSelection); });
    windows.setFactory(ui::WindowKind::RulesConfig, [&] {
        return new ui::RulesConfigWindow(context.configFile, context.status);
    });
    windows.setFactory(ui::WindowKind::Tier, [&] {
        auto *window = new ui::TierWindow(
            context.pairing, context.tierOperations, context.rsyncBanner, *context.mover,
            context.moverSettings, context.moverLog, context.pairHistory);
        window->followAccounts(context.remotes);
        return window;
    });
    // Uninstalling first silences everything that would write ~/.quindle again.
    Uninstaller uninstaller(detectOnce(), [&] { context.stopBackgroundWork(); });
    windows.setFactory(ui::WindowKind::Uninstall, [&] {
        auto *model = new UninstallWizardModel(uninstaller);
        auto *window = new ui::UninstallWindow(*model);
        model->setParent(window);
        model->detectState();
        QObject::connect(window, &ui::UninstallWindow::quitRequested, &app, [&lock] {
            // Its file went with ~/.quindle; unlocking it would only complain. The lock ends
            // with the process.
            if (!Uninstaller::configDirExists())
                (void)lock.release();
            QApplication::exit(0);
        });
        return window;
    });
    context.retakeEngineLock = [&lock] {
        (void)lock.release(); // its file left with the old state folder
        lock = takeEngineLock();
    };
    windows.setFactory(ui::WindowKind::Settings, [&] {
        auto *settings = new ui::SettingsWindow;
        settings->addStorage({context.cloudRoots, context.cloudUsage, context.cloudOptimisation,
                              context.backups,
                              [&] { windows.open(ui::WindowKind::CloudOptimisation); }});
        return settings;
    });
    windows.setFactory(ui::WindowKind::StorageInspector, [&] {
        return new ui::StorageInspectorWindow(context.storageScan, context.folderMove,
                                              [&] { windows.open(ui::WindowKind::FolderMove); });
    });
    windows.setFactory(ui::WindowKind::FolderMove, [&] {
        return new ui::ServiceRunWindow(context.folderMove, ui::RunWindowTexts::folderMove());
    });
    windows.setFactory(ui::WindowKind::FreeSpace, [&] {
        return new ui::ServiceRunWindow(context.freeSpace, ui::RunWindowTexts::freeSpace());
    });
    windows.setFactory(ui::WindowKind::CloudOptimisation, [&] {
        return new ui::ServiceRunWindow(context.cloudOptimisation,
                                        ui::RunWindowTexts::cloudOptimisation());
    });
    windows.setFactory(ui::WindowKind::Charts,
                       [&] { return new ui::ChartsWindow(context.history); });
    windows.setFactory(ui::WindowKind::ShareExperience, [&] {
        auto *client = new FeedbackClient;
        auto *model = new ShareExperience(*client);
        auto *window = new ui::ShareExperienceWindow(*model);
        client->setParent(model); // outlives the model's own last abort
        model->setParent(window);
        QObject::connect(model, &ShareExperience::submitted, &context.telemetry,
                         [&context](const QString &category) {
                             context.telemetry.sendEvent(QStringLiteral("feedback_sent"),
                                                         {{QStringLiteral("category"), category}});
                         });
        return window;
    });
    for (ui::WindowKind kind : ui::legalDocumentWindows() + QList{ui::WindowKind::Help})
        windows.setFactory(kind,
                           [kind] { return new ui::DocumentWindow(ui::shownDocument(kind)); });
    windows.setFactory(ui::WindowKind::Transfers,
                       [&] { return new ui::TransfersWindow(context.transfers, context.remotes); });
    windows.setFactory(ui::WindowKind::Remotes, [&] {
        context.remotes.refresh();
        return new ui::RemotesWindow(context.remotes, context.transfers);
    });
    windows.setFactory(ui::WindowKind::Apps, [&] {
        auto *model = new AppsWindowModel(*context.apps, [&context] {
            return context.status.status() ? context.status.status()->nvme_path : QString();
        });
        auto *window = new ui::AppsWindow(*model);
        model->setParent(window);
        QObject::connect(
            window, &ui::AppsWindow::appsRootsRequested, window, [window, model, &context] {
                auto *dialog =
                    new ui::AppsRootsDialog(AppsRoots::current(), AppsRoots::defaults(),
                                            AppsRoots::save, ui::desktopFolderChooser(), window);
                dialog->setAttribute(Qt::WA_DeleteOnClose);
                QObject::connect(dialog, &QDialog::accepted, window, [model, &context] {
                    context.pairing.setAppsRoots(AppsRoots::current());
                    model->rescan();
                });
                dialog->open();
            });
        model->rescan();
        return window;
    });
    QAction openSettings(QStringLiteral("Settings…"));
    openSettings.setShortcut(ui::settingsShortcut());
    QObject::connect(&openSettings, &QAction::triggered, &windows,
                     [&] { windows.open(ui::WindowKind::Settings); });
    windows.addWindowAction(&openSettings);
    LaunchSequence launch(context, windows);
    context.notificationDrain.setFallback([&launch](const NotificationPayload &notice) {
        return launch.tray() && launch.tray()->showMessage(notice.title, notice.body);
    });
    QObject::connect(&launch, &LaunchSequence::quitRequested, &app, [&](int code) {
        context.stopBackgroundWork();
        QApplication::exit(code);
    });
    QObject::connect(&app, &QApplication::aboutToQuit, &app, [&] { context.stopBackgroundWork(); });
    launch.start();
    return app.exec();
}

} // namespace quindle
