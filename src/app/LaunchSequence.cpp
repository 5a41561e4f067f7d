#include "app/LaunchSequence.h"

#include "core/BuildSettings.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "insight/ServiceStartPrompt.h"
#include "insight/WizardModel.h"
#include "mover/RsyncSupport.h"
#include "platform/DesktopNouns.h"
#include "ui/Confirmation.h"
#include "ui/LegalAcceptanceWindow.h"
#include "ui/ServiceStartWindow.h"
#include "ui/SetupWizardWindow.h"
#include "ui/SplashWindow.h"
#include "ui/UpdatePromptWindow.h"
#include "updates/LaunchSplash.h"
#include "updates/UpdatePrompt.h"

#include <QApplication>
#include <QTimer>
#include <QtDebug>

namespace quindle {

using ui::WindowKind;

namespace {

void log(const char *line) {
    qInfo().noquote() << line;
}

} // namespace

LaunchSequence::LaunchSequence(AppContext &context, WindowRegistry &windows,
                               std::unique_ptr<LaunchFacts> facts, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_windows(windows)
    , m_facts(facts ? std::move(facts) : std::make_unique<RealLaunchFacts>(context)) {
    m_windows.setFactory(WindowKind::UpdatePrompt, [this] {
        m_updatePrompt = std::make_unique<UpdatePrompt>(m_context.manifest, m_context.updater);
        connect(m_updatePrompt.get(), &UpdatePrompt::current, this, [this] {
            log("Quindle: UpdateRequiredPrompt — re-check confirmed installed build is current; "
                "dismissing gate");
            closeGate(WindowKind::UpdatePrompt);
            continueAfterUpdateGate();
        });
        connect(m_updatePrompt.get(), &UpdatePrompt::quitRequested, this,
                [this] { quit("Quindle: UpdateRequiredPrompt — user quit instead of updating"); });
        return new ui::UpdatePromptWindow(*m_updatePrompt);
    });
    // The updater script waits for this process to exit before it replaces the install folder.
    connect(&m_context.updater, &AutoUpdater::quitRequested, this, [this] { quit(nullptr); });
    m_windows.setFactory(WindowKind::LegalAcceptance, [this] {
        auto *window = new ui::LegalAcceptanceWindow(m_context.legal);
        connect(window, &ui::LegalAcceptanceWindow::accepted, this, [this] {
            closeGate(WindowKind::LegalAcceptance);
            continueAfterGates();
        });
        connect(window, &ui::LegalAcceptanceWindow::declined, this, [this] { quit(nullptr); });
        return window;
    });
    m_windows.setFactory(WindowKind::SetupWizard, [this] {
        if (!m_wizard) {
            m_wizard = std::make_unique<WizardModel>();
            connect(m_wizard.get(), &WizardModel::finished, this, &LaunchSequence::finishWizard);
        }
        return new ui::SetupWizardWindow(*m_wizard);
    });
    m_windows.setFactory(WindowKind::ServiceStart, [this] {
        m_startPrompt = std::make_unique<ServiceStartPrompt>(m_context.status);
        connect(m_startPrompt.get(), &ServiceStartPrompt::loaded, this, [this] {
            log("Quindle: ServiceStartPrompt — service loaded, advancing");
            closeGate(WindowKind::ServiceStart);
            QTimer::singleShot(0, this, &LaunchSequence::continueAfterServiceLoaded);
        });
        connect(m_startPrompt.get(), &ServiceStartPrompt::quitRequested, this,
                [this] { quit("Quindle: ServiceStartPrompt — user quit"); });
        return new ui::ServiceStartWindow(*m_startPrompt);
    });
    connect(&m_windows, &WindowRegistry::closed, this, [this](WindowKind kind) {
        // A gate the chain closes itself on its way on is not a person closing it.
        if (m_leavingGate || m_tray)
            return;
        switch (kind) {
        case WindowKind::UpdatePrompt:
            return quit("Quindle: UpdateRequiredPrompt — closed via X, terminating");
        case WindowKind::LegalAcceptance:
            return quit("Quindle: LegalAcceptance — closed via X, terminating");
        case WindowKind::ServiceStart:
            return quit("Quindle: ServiceStartPrompt — closed via X, terminating");
        case WindowKind::SetupWizard:
            return quit(nullptr); // setup abandoned before the service was installed
        default:
            return;
        }
    });
}

LaunchSequence::~LaunchSequence() = default;

QWidget *LaunchSequence::splashWindow() const {
    return m_splashWindow.get();
}

void LaunchSequence::start() {
    if (!m_facts->manifestAddressConfigured()) {
        qInfo().noquote() << "Splash: no manifest address configured — skipping";
        continueAfterSplash();
        return;
    }
    qInfo().noquote() << "Splash: SplashWindow.show() called";
    const SplashLimits limits = m_facts->splashLimits();
    m_splash = std::make_unique<LaunchSplash>(LaunchSplash::buildSettings(limits), limits);
    connect(m_splash.get(), &LaunchSplash::dismissed, this, [this] {
        // Off the splash's own signal: the window goes first, then the chain goes on.
        QTimer::singleShot(0, this, [this] {
            m_splashWindow.reset();
            continueAfterSplash();
        });
    });
    connect(m_splash.get(), &LaunchSplash::quitRequested, this, [this] { quit(nullptr); });
    m_splashWindow = std::make_unique<ui::SplashWindow>(*m_splash, build::supportUrl());
    m_splashWindow->present();
}

void LaunchSequence::continueAfterSplash() {
    whenFinished(m_facts->refreshManifest(), this, [this] {
        if (m_facts->updateGateNeeded()) {
            log("Quindle: update available — showing UpdateRequiredPrompt before legal/FDA/setup");
            m_windows.open(WindowKind::UpdatePrompt);
        } else {
            continueAfterUpdateGate();
        }
    });
}

void LaunchSequence::continueAfterUpdateGate() {
    if (!m_facts->legalAccepted()) {
        log("Quindle: legal acceptance needed — showing LegalAcceptance");
        m_windows.open(WindowKind::LegalAcceptance);
        return;
    }
    continueAfterGates();
}

void LaunchSequence::closeGate(WindowKind kind) {
    m_leavingGate = true;
    m_windows.close(kind);
    m_leavingGate = false;
}

void LaunchSequence::quit(const char *line) {
    if (line)
        log(line);
    Q_EMIT quitRequested(0);
}

void LaunchSequence::continueAfterGates() {
    if (!m_facts->serviceInstalled()) {
        log("Quindle: service not installed — showing SetupWizard");
        showSetupWizard();
        return;
    }
    whenFinished(m_installer.upgradeScriptsIfNeeded(), this, [this](const QStringList &upgraded) {
        if (!upgraded.isEmpty())
            qInfo().noquote() << Installer::upgradedLogLine(upgraded);
        whenFinished(m_context.status.refreshAsync(), this, [this] {
            if (m_context.status.serviceLoaded()) {
                continueAfterServiceLoaded();
            } else {
                log("Quindle: service not loaded — showing ServiceStartPrompt");
                showServiceStartPrompt();
            }
        });
    });
}

void LaunchSequence::showSetupWizard() {
    m_windows.open(WindowKind::SetupWizard);
}

void LaunchSequence::finishWizard() {
    closeGate(WindowKind::SetupWizard);
    if (!m_tray)
        setupTray();
    // The wizard's window closes first: a popup opened while it still has focus would close again.
    constexpr int afterWizardClosedMs = 400;
    QTimer::singleShot(afterWizardClosedMs, this, [this] { m_tray->showPopover(); });
}

void LaunchSequence::showServiceStartPrompt() {
    m_windows.open(WindowKind::ServiceStart);
}

void LaunchSequence::continueAfterServiceLoaded() {
    RsyncSupport::startProbeIfNeeded();
    setupTray();
}

void LaunchSequence::setupTray() {
    if (m_tray)
        return;
    ui::PopoverActions actions;
    actions.openWindow = [this](WindowKind kind) { m_windows.open(kind); };
    actions.quit = [this] { quit(nullptr); };
    actions.recentNotices = &m_context.recentNotices;
    actions.remotes = &m_context.remotes;
    actions.freeSpace = &m_context.freeSpace;
    actions.freeSpaceResult = &m_context.freeSpaceResult;
    // A window-modal question that does not spin a nested event loop, as every window asks.
    actions.confirm = [](const QString &title, const QString &text, const QString &confirm,
                         std::function<void()> confirmed) {
        ui::openConfirmation(nullptr,
                             {.windowTitle = title,
                              .question = title,
                              .details = text,
                              .confirmLabel = confirm,
                              .confirmHint = {}},
                             [confirmed = std::move(confirmed)](bool yes) {
                                 if (yes)
                                     confirmed();
                             });
    };
    m_tray = std::make_unique<ui::TrayController>(m_context.status, *m_context.mover, actions,
                                                  &m_context.fstab);
    m_tray->watchAppMoves(m_context.apps.get());
    m_tray->watchRuns(&m_context.storageScan, &StorageScan::runningChanged,
                      [this] { return m_context.storageScan.isRunning(); });
    for (ServiceRun *run :
         {&m_context.folderMove, &m_context.freeSpace, &m_context.cloudOptimisation})
        m_tray->watchRuns(run, &ServiceRun::runningChanged, [run] { return run->isRunning(); });
    m_context.status.startPolling();
    m_context.notificationDrain.start();
    m_context.meetingMonitor.start();
    // Detected once now and again whenever the application comes to the front.
    m_context.fstab.refresh();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive)
            m_context.fstab.refresh();
    });
    m_tray->show();
    log("Quindle: tray ready");
    m_context.telemetry.sendEvent(
        QStringLiteral("app_launched"),
        {{QStringLiteral("version"), build::version()},
         {QStringLiteral("desktop"), desktopFamily(platform::currentDesktop())},
         {QStringLiteral("tray"),
          m_tray->hasTray() ? QStringLiteral("yes") : QStringLiteral("no")}});
}

} // namespace quindle
