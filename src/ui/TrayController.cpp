#include "ui/TrayController.h"

#include "core/ServiceScripts.h"
#include "core/StatusModel.h"
#include "mover/LocalFolderMover.h"

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QtDebug>

#include <algorithm>

namespace quindle::ui {

TrayController::TrayController(StatusModel &model, LocalFolderMover &mover, PopoverActions actions,
                               FstabAuditor *fstab, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_mover(mover)
    , m_actions(std::move(actions))
    , m_popoverModel(model, mover, fstab) {
    m_blink.setInterval(blinkIntervalMs);
    connect(&m_blink, &QTimer::timeout, this, [this] {
        m_blinkOn = !m_blinkOn;
        updateIcon();
    });
    connect(&m_model, &StatusModel::changed, this, [this] {
        updateIcon();
        refreshActivityBlink();
    });
    connect(&m_mover, &LocalFolderMover::jobsChanged, this, [this] {
        updateIcon();
        refreshActivityBlink();
    });

    PopoverActions inner = m_actions;
    inner.closePopover = [this] { closePopover(); };
    auto *view = new PopoverView(m_popoverModel, inner);
    m_popover.reset(view);
    m_popover->setWindowTitle(QStringLiteral("Quindle"));
    m_popover->setWindowIcon(applicationIcon());
    m_menu.reset(buildMenu());
    // The stand-in window grows with what appears later (an action's output, notices) rather
    // than hiding it under a scroll bar; it never shrinks under a size the person chose.
    connect(&m_popoverModel, &PopoverModel::changed, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (m_popupAnchored || !m_popover->isVisible() || m_popover->isMinimized())
                return;
            const QScreen *screen = m_popover->screen();
            const QSize fitting = m_popover->fittingSize(screen ? screen->availableGeometry().size()
                                                                : QSize(1280, 800));
            if (fitting.height() > m_popover->height())
                m_popover->resize(m_popover->width(), fitting.height());
        });
    });
}

TrayController::~TrayController() = default;

bool TrayController::hasTray() const {
    return m_tray != nullptr;
}

bool TrayController::showMessage(const QString &title, const QString &body) {
    if (!m_tray || !QSystemTrayIcon::supportsMessages())
        return false;
    m_tray->showMessage(title, body, applicationIcon());
    return true;
}

void TrayController::show() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = std::make_unique<QSystemTrayIcon>();
        m_tray->setToolTip(QStringLiteral("Quindle"));
        m_tray->setContextMenu(m_menu.get());
        connect(m_tray.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger)
                        togglePopover();
                });
        updateIcon();
        m_tray->show();
    } else {
        qWarning().noquote()
            << "Quindle: no system tray on this desktop — showing the status window instead.";
        showPopover();
    }
    refreshActivityBlink();
}

void TrayController::togglePopover() {
    if (m_popover->isVisible())
        closePopover();
    else
        showPopover();
}

void TrayController::showPopover() {
    m_popoverModel.refreshDetections();
    const QRect anchor = m_tray ? m_tray->geometry() : QRect();
    QScreen *screen = anchor.isValid() ? QGuiApplication::screenAt(anchor.center()) : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const QSize size = m_popover->fittingSize(available.size());

    // A popup needs the icon's place; without it (Wayland, no tray) a normal window is the
    // only way to stay reachable.
    const bool anchored = anchor.isValid() && !anchor.isEmpty();
    if (anchored != m_popupAnchored || !m_popover->windowFlags().testFlag(Qt::Window)) {
        m_popover->setWindowFlags(anchored ? Qt::Popup : Qt::Window);
        m_popupAnchored = anchored;
    }
    m_popover->resize(size);
    if (anchored) {
        int x = anchor.center().x() - size.width() / 2;
        x = std::clamp(x, available.left(), available.right() - size.width());
        // Below an icon at the top of the screen, above one at the bottom.
        const int y = anchor.center().y() < available.center().y()
                          ? anchor.bottom() + 4
                          : anchor.top() - size.height() - 4;
        m_popover->move(x, std::clamp(y, available.top(), available.bottom() - size.height()));
    }
    m_popover->show();
    m_popover->raise();
    m_popover->activateWindow();
    m_model.refreshAsync();
}

void TrayController::closePopover() {
    if (m_popupAnchored || m_tray)
        m_popover->hide();
    else
        m_popover->showMinimized(); // the fallback window is the only way back in
}

void TrayController::watchAppMoves(const AppRelocator *apps) {
    m_apps = apps;
    connect(apps, &AppRelocator::jobsChanged, this, [this] {
        updateIcon();
        refreshActivityBlink();
    });
    refreshActivityBlink();
}

bool TrayController::activityRunning() const {
    for (const MoveJob &job : m_mover.jobs())
        if (!isTerminal(job.manifest.phase))
            return true; // a move waiting for its drive counts too
    if (m_apps && m_apps->hasUnfinishedJobs())
        return true;
    return std::any_of(m_runsRunning.cbegin(), m_runsRunning.cend(),
                       [](const auto &running) { return running(); });
}

void TrayController::updateIcon() {
    m_dot = dotLook(iconState(m_model.status(), m_model.serviceInstalled()), activityRunning());
    if (m_tray)
        m_tray->setIcon(trayIcon(m_dot, m_blinkOn));
}

void TrayController::refreshActivityBlink() {
    const bool running = activityRunning();
    if (running && !m_blink.isActive()) {
        m_blink.start();
        m_blinkOn = true;
        updateIcon();
    } else if (!running && m_blink.isActive()) {
        m_blink.stop();
        m_blinkOn = false;
        updateIcon();
    }
}

QMenu *TrayController::buildMenu() {
    auto *menu = new QMenu;
    menu->addAction(QStringLiteral("Open Quindle"), this, [this] { showPopover(); });
    menu->addSeparator();
    QAction *pause = menu->addAction(QStringLiteral("Pause"), this, [this] {
        const bool paused = m_model.status() && m_model.status()->paused;
        m_model.run(paused ? service::resume : service::pause);
    });
    connect(menu, &QMenu::aboutToShow, this, [this, pause] {
        const bool paused = m_model.status() && m_model.status()->paused;
        pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
        pause->setEnabled(m_model.serviceLoaded() && m_model.status().has_value());
    });
    for (const auto &[label, kind] :
         {std::pair{QStringLiteral("Tier…"), WindowKind::Tier},
          std::pair{QStringLiteral("Inspect NVMe…"), WindowKind::Inspect},
          std::pair{QStringLiteral("Storage Inspector…"), WindowKind::StorageInspector},
          std::pair{QStringLiteral("Storage Charts…"), WindowKind::Charts},
          std::pair{QStringLiteral("Choose Drive…"), WindowKind::ChooseDrive},
          std::pair{QStringLiteral("Transfers…"), WindowKind::Transfers},
          std::pair{QStringLiteral("Remotes & Accounts…"), WindowKind::Remotes},
          std::pair{QStringLiteral("Log…"), WindowKind::Log},
          std::pair{QStringLiteral("Rules & Config…"), WindowKind::RulesConfig},
          std::pair{QStringLiteral("Settings…"), WindowKind::Settings}})
        // A bare & in a menu text marks the next letter as its shortcut: "Rules _Config".
        menu->addAction(QString(label).replace(QLatin1Char('&'), QStringLiteral("&&")), this,
                        [this, kind = kind] { m_actions.openWindow(kind); });
    menu->addAction(QStringLiteral("Refresh"), this, [this] { m_model.refreshAsync(); });
    menu->addAction(QStringLiteral("Help"), this,
                    [this] { m_actions.openWindow(WindowKind::Help); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Uninstall Quindle…"), this,
                    [this] { m_actions.openWindow(WindowKind::Uninstall); });
    menu->addAction(QStringLiteral("Quit Quindle"), this, [this] {
        if (m_actions.quit)
            m_actions.quit();
    });
    return menu;
}

} // namespace quindle::ui
