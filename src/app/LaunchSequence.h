#pragma once

#include "app/AppContext.h"
#include "app/WindowRegistry.h"
#include "core/Installer.h"
#include "ui/TrayController.h"

#include <QObject>

#include <memory>

namespace quindle {

class WizardModel;
class ServiceStartPrompt;

// The launch chain from start to tray: each gate shows at most one window and either passes or
// ends the application.
class LaunchSequence : public QObject {
    Q_OBJECT
public:
    LaunchSequence(AppContext &context, WindowRegistry &windows, QObject *parent = nullptr);
    ~LaunchSequence() override;

    void start();
    ui::TrayController *tray() const { return m_tray.get(); }

Q_SIGNALS:
    void quitRequested(int exitCode);

private:
    void continueAfterGates();
    void showSetupWizard();
    void finishWizard();
    void showServiceStartPrompt();
    void continueAfterServiceLoaded();
    void setupTray();

    AppContext &m_context;
    WindowRegistry &m_windows;
    Installer m_installer;
    std::unique_ptr<WizardModel> m_wizard;
    std::unique_ptr<ServiceStartPrompt> m_startPrompt;
    std::unique_ptr<ui::TrayController> m_tray;
};

} // namespace quindle
