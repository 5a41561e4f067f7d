#pragma once

#include "insight/PopoverModel.h"
#include "ui/WindowKind.h"

#include <QHash>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QStackedWidget;
class QPlainTextEdit;
class QScrollArea;
class QProgressBar;
class QVBoxLayout;

namespace quindle {
class FreeSpaceResult;
class RecentNotices;
class RemoteManager;
class ServiceRun;
} // namespace quindle

namespace quindle::ui {

// What the popover asks of the application around it.
struct PopoverActions {
    std::function<void(WindowKind)> openWindow;
    std::function<void()> closePopover;
    std::function<void()> quit;
    // Asks the user without blocking; calls `confirmed` once they confirm. Replaced by tests.
    std::function<void(const QString &title, const QString &text, const QString &confirm,
                       std::function<void()> confirmed)>
        confirm;
    // Notices the desktop could not show; listed in the popover when there are any.
    RecentNotices *recentNotices = nullptr;
    // The cloud accounts, counted in the Cloud Accounts and Transfers rows; no rows without it.
    RemoteManager *remotes = nullptr;
    // The shared Free Up Space run and its last result; without them there is no such control.
    ServiceRun *freeSpace = nullptr;
    FreeSpaceResult *freeSpaceResult = nullptr;
};

// The main screen: the service's state, the drive and disk cards, and the everyday actions.
class PopoverView : public QWidget {
    Q_OBJECT
public:
    PopoverView(PopoverModel &model, PopoverActions actions, QWidget *parent = nullptr);

    // The tallest the popover gets on a screen whose available height is `visibleHeight`.
    static int preferredHeight(int visibleHeight);
    static constexpr int minimumWidth = 400;
    // Wide enough for every text at the current font, as tall as its content, within the
    // screen's `available` size and preferredHeight().
    QSize fittingSize(const QSize &available) const;

    // The command-bound controls, by the sub-command they run (for the enabling rules).
    QPushButton *commandButton(const QString &command) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void rebuild();
    void presentAccounts();
    QPushButton *addCommand(QWidget *parent, const QString &label, const QString &command,
                            const QString &hint = {});
    QPushButton *addOpener(QWidget *parent, const QString &label, WindowKind kind,
                           const QString &hint = {});
    QScrollArea *buildLoadedPage();
    // Puts the model's questions to the person through the application's confirm action.
    PopoverModel::Confirm confirmer();
    QWidget *buildMessagePage(QLabel *&text, QPushButton *&button);

    PopoverModel &m_model;
    PopoverActions m_actions;
    QHash<QString, QPushButton *> m_commandButtons;

    QLabel *m_subtitle = nullptr;
    QStackedWidget *m_pages = nullptr;
    QScrollArea *m_loadedPage = nullptr;
    QWidget *m_messagePage = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_messageButton = nullptr;

    QLabel *m_internalFree = nullptr;
    QLabel *m_internalUsed = nullptr;
    QProgressBar *m_internalBar = nullptr;
    QLabel *m_nvmeFree = nullptr;
    QLabel *m_nvmeUsed = nullptr;
    QProgressBar *m_nvmeBar = nullptr;
    QLabel *m_nvmeRow = nullptr;
    QLabel *m_autoRow = nullptr;
    QLabel *m_quietRow = nullptr;
    QLabel *m_powerRow = nullptr;
    QLabel *m_idleRow = nullptr;
    QLabel *m_lastRunRow = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_moves = nullptr;
    QLabel *m_accountsRow = nullptr;
    QLabel *m_transfersRow = nullptr;
    QLabel *m_fstabRow = nullptr;
    QLabel *m_fstabError = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QWidget *m_outputPanel = nullptr;
    QPlainTextEdit *m_output = nullptr;
    QLabel *m_error = nullptr;
};

} // namespace quindle::ui
