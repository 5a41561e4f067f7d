#include "app/LaunchSequence.h"

#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "insight/ServiceStartPrompt.h"
#include "insight/WizardModel.h"
#include "mover/RsyncSupport.h"
#include "ui/Confirmation.h"
#include "ui/ServiceStartWindow.h"
#include "ui/SetupWizardWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>
#include <QtDebug>

namespace quindle {

using ui::WindowKind;

LaunchSequence::LaunchSequence(AppContext &context, WindowRegistry &windows, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_windows(windows) {
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
            qInfo().noquote() << "Quindle: ServiceStartPrompt — service loaded, advancing";
            m_windows.close(WindowKind::ServiceStart);
            QTimer::singleShot(0, this, &LaunchSequence::continueAfterServiceLoaded);
        });
        connect(m_startPrompt.get(), &ServiceStartPrompt::quitRequested, this, [this] {
            qInfo().noquote() << "Quindle: ServiceStartPrompt — user quit";
            Q_EMIT quitRequested(0);
        });
        return new ui::ServiceStartWindow(*m_startPrompt);
    });
    connect(&m_windows, &WindowRegistry::closed, this, [this](WindowKind kind) {
        if (kind == WindowKind::ServiceStart && !m_tray) {
            qInfo().noquote() << "Quindle: ServiceStartPrompt — closed via X, terminating";
            Q_EMIT quitRequested(0);
        } else if (kind == WindowKind::SetupWizard && !m_tray) {
            Q_EMIT quitRequested(0); // setup abandoned before the service was installed
        }
    });
}

LaunchSequence::~LaunchSequence() = default;

void LaunchSequence::start() {
    // The gates before setup — the update check, legal acceptance and disk access — come here
    // in that order as they are built. Linux has no disk-access permission to ask for.
    continueAfterGates();
}

void LaunchSequence::continueAfterGates() {
    if (!QFileInfo::exists(paths::serviceScript())) {
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
                qInfo().noquote() << "Quindle: service not loaded — showing ServiceStartPrompt";
                showServiceStartPrompt();
            }
        });
    });
}

void LaunchSequence::showSetupWizard() {
    m_windows.open(WindowKind::SetupWizard);
}

void LaunchSequence::finishWizard() {
    m_windows.close(WindowKind::SetupWizard);
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
    actions.quit = [this] { Q_EMIT quitRequested(0); };
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
    m_context.status.startPolling();
    // Detected once now and again whenever the application comes to the front.
    m_context.fstab.refresh();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive)
            m_context.fstab.refresh();
    });
    m_tray->show();
}

} // namespace quindle
