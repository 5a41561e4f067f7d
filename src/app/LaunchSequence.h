#pragma once

#include "app/AppContext.h"
#include "app/LaunchFacts.h"
#include "app/WindowRegistry.h"
#include "core/Installer.h"
#include "ui/TrayController.h"

#include <QObject>

#include <memory>

namespace quindle {

class LaunchSplash;
class ServiceStartPrompt;
class UpdatePrompt;
class WizardModel;

namespace ui {
class SplashWindow;
}

// The launch chain from start to tray: the splash, then the update, legal and setup gates, each
// showing at most one window and either passing or ending the application; none loops back.
class LaunchSequence : public QObject {
    Q_OBJECT
public:
    // Without `facts`, the chain asks this computer and build.
    LaunchSequence(AppContext &context, WindowRegistry &windows,
                   std::unique_ptr<LaunchFacts> facts = nullptr, QObject *parent = nullptr);
    ~LaunchSequence() override;

    void start();
    ui::TrayController *tray() const { return m_tray.get(); }
    QWidget *splashWindow() const;

Q_SIGNALS:
    void quitRequested(int exitCode);

private:
    void continueAfterSplash();
    void continueAfterUpdateGate();
    void continueAfterGates();
    void showSetupWizard();
    void finishWizard();
    void showServiceStartPrompt();
    void continueAfterServiceLoaded();
    void setupTray();
    // Closes a gate on the chain's way on, which is not the person closing it.
    void closeGate(ui::WindowKind kind);
    // Logs `line` (when given) and asks the application to quit.
    void quit(const char *line);

    AppContext &m_context;
    WindowRegistry &m_windows;
    std::unique_ptr<LaunchFacts> m_facts;
    Installer m_installer;
    std::unique_ptr<LaunchSplash> m_splash;
    std::unique_ptr<ui::SplashWindow> m_splashWindow;
    std::unique_ptr<UpdatePrompt> m_updatePrompt;
    std::unique_ptr<WizardModel> m_wizard;
    std::unique_ptr<ServiceStartPrompt> m_startPrompt;
    std::unique_ptr<ui::TrayController> m_tray;
    bool m_leavingGate = false;
};

} // namespace quindle
