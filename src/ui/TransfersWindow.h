#pragma once

#include <QUuid>
#include <QWidget>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QFrame;

namespace quindle {
class RemoteManager;
class SyncManager;
struct SyncJob;
} // namespace quindle

namespace quindle::ui {

// "Quindle — Transfers": the jobs newest first, the chosen one's progress, log and commands.
class TransfersWindow : public QWidget {
    Q_OBJECT
public:
    TransfersWindow(SyncManager &manager, RemoteManager &remotes, QWidget *parent = nullptr);

    void select(const QUuid &id);
    void openNewTransfer();

private:
    QWidget *detailPane();
    void refreshList();
    void refreshDetail();
    void refreshBanner();
    QUuid selectedId() const;

    SyncManager &m_manager;
    RemoteManager &m_remotes;
    QFrame *m_banner = nullptr;
    QLabel *m_bannerText = nullptr;
    QLabel *m_notice = nullptr;
    QPushButton *m_abandon = nullptr;
    QPushButton *m_checkDrive = nullptr;
    QPushButton *m_clear = nullptr;
    QListWidget *m_list = nullptr;
    QWidget *m_detail = nullptr;
    QLabel *m_empty = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_badge = nullptr;
    QLabel *m_endpoints = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_stats = nullptr;
    QLabel *m_error = nullptr;
    QLabel *m_schedule = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_resume = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_detailCheckDrive = nullptr;
    QPushButton *m_retry = nullptr;
    QPushButton *m_remove = nullptr;
    QPlainTextEdit *m_log = nullptr;
};

// "3.2 MB of 10.0 MB · 4 of 12 files · 1.5 MB/s · 7 s left · photo.jpg"
QString progressText(const SyncJob &job);

} // namespace quindle::ui
