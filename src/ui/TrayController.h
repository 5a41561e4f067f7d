#pragma once

#include "apps/AppRelocator.h"
#include "insight/PopoverModel.h"
#include "ui/PopoverView.h"
#include "ui/TrayIconArt.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QSystemTrayIcon;

namespace quindle {
class FstabAuditor;
class StatusModel;
class LocalFolderMover;
} // namespace quindle

namespace quindle::ui {

// The tray icon with its dot, its menu, and the popover it opens. Where the desktop has no tray
// (or does not say where the icon is), the popover opens as a small normal window instead, so
// every function stays reachable.
class TrayController : public QObject {
    Q_OBJECT
public:
    static constexpr int blinkIntervalMs = 700;

    TrayController(StatusModel &model, LocalFolderMover &mover, PopoverActions actions,
                   FstabAuditor *fstab = nullptr, QObject *parent = nullptr);
    ~TrayController() override;

    // Shows the icon, or the fallback window when there is no tray.
    void show();
    void togglePopover();
    void showPopover();
    void closePopover();

    bool hasTray() const;
    // A message beside the icon; false where the tray cannot show one.
    bool showMessage(const QString &title, const QString &body);
    QWidget *popover() const { return m_popover.get(); }
    const DotLook &dot() const { return m_dot; }
    bool blinkOn() const { return m_blinkOn; }
    bool isBlinking() const { return m_blink.isActive(); }
    QMenu *menu() const { return m_menu.get(); } // the icon's context menu
    // App moves count as activity too.
    void watchAppMoves(const AppRelocator *apps);
    // And so do the service's long runs (a scan, Free Up Space, a folder's move or eviction):
    // `running` says whether one is under way, `changed` is emitted when that may have changed.
    template <typename Source, typename Signal>
    void watchRuns(const Source *source, Signal changed, std::function<bool()> running) {
        m_runsRunning.push_back(std::move(running));
        connect(source, changed, this, [this] {
            updateIcon();
            refreshActivityBlink();
        });
    }

private:
    void updateIcon();
    void refreshActivityBlink();
    bool activityRunning() const;
    QMenu *buildMenu();

    StatusModel &m_model;
    LocalFolderMover &m_mover;
    const AppRelocator *m_apps = nullptr;
    std::vector<std::function<bool()>> m_runsRunning;
    PopoverActions m_actions;
    PopoverModel m_popoverModel;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<PopoverView> m_popover;
    QTimer m_blink;
    bool m_blinkOn = false;
    DotLook m_dot;
    bool m_popupAnchored = false;
};

} // namespace quindle::ui
