#pragma once

#include "tier/TierOperations.h"
#include "tier/TierTypes.h"

#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QToolButton;

namespace quindle {
class LocalFolderMover;
class MoverLog;
class MoverSettings;
class PairHistory;
class PairingModel;
class RemoteManager;
class RsyncBanner;
} // namespace quindle

namespace quindle::ui {

class MoveJobList;
class PopoverButton;
class TierPane;
class ToastLabel;

// The Tier window: the internal disk on the left, the drive on the right, the pair control and
// the move arrows between them, the move queue below, and popovers for recent pairs, mover
// settings, the manifests on disk and the live log. Every decision is the models'.
class TierWindow : public QWidget {
    Q_OBJECT
public:
    TierWindow(PairingModel &pairing, TierOperations &operations, RsyncBanner &banner,
               LocalFolderMover &mover, MoverSettings &settings, MoverLog &log,
               PairHistory &history, QWidget *parent = nullptr);
    ~TierWindow() override;

    TierPane *pane(Side side) const { return side == Side::Left ? m_left : m_right; }
    // The connected accounts, offered in the right pane's location menu.
    void followAccounts(RemoteManager &remotes);
    QToolButton *arrow(MoveAction action, Side to) const;
    MoveJobList *jobList() const { return m_jobs; }
    ToastLabel *toast() const { return m_toast; }
    PopoverButton *recentPairsButton() const { return m_recent; }
    PopoverButton *settingsButton() const { return m_settings; }
    PopoverButton *manifestsButton() const { return m_manifests; }
    PopoverButton *logButton() const { return m_log; }
    // The replace confirmation while it is open.
    QMessageBox *confirmation() const { return m_confirmation; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *buildMiddleColumn();
    void presentPair();
    void presentArrows();
    void presentConfirmation();
    void showToast(const Toast &toast);
    void placeToast();

    PairingModel &m_pairing;
    TierOperations &m_operations;
    TierPane *m_left = nullptr;
    TierPane *m_right = nullptr;
    QPushButton *m_pair = nullptr;
    QLabel *m_pairStatus = nullptr;
    QLabel *m_pairHelp = nullptr;
    QLabel *m_arrowsReason = nullptr;
    QHash<int, QToolButton *> m_arrows; // by action and direction
    MoveJobList *m_jobs = nullptr;
    ToastLabel *m_toast = nullptr;
    PopoverButton *m_recent = nullptr;
    PopoverButton *m_settings = nullptr;
    PopoverButton *m_manifests = nullptr;
    PopoverButton *m_log = nullptr;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace quindle::ui
