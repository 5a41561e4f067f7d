#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace quindle {
class RemoteManager;
class SyncManager;
} // namespace quindle

namespace quindle::ui {

class AddAccountDialog;

// "Quindle — Remotes & Accounts": the accounts, the chosen one's details, its connection test
// and removal, and the Add Account sheet.
class RemotesWindow : public QWidget {
    Q_OBJECT
public:
    RemotesWindow(RemoteManager &remotes, SyncManager &transfers, QWidget *parent = nullptr);

    AddAccountDialog *openAddAccount();
    QString selectedName() const;

private:
    QWidget *detailPane();
    void refreshList();
    void refreshDetail();
    void refreshBanner();
    void testSelected();
    void removeSelected();

    RemoteManager &m_remotes;
    SyncManager &m_transfers;
    QFrame *m_banner = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_refresh = nullptr;
    QStackedWidget *m_listPages = nullptr;
    QListWidget *m_list = nullptr;
    QStackedWidget *m_detailPages = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_type = nullptr;
    QLabel *m_path = nullptr;
    QPushButton *m_test = nullptr;
    QLabel *m_testMark = nullptr;
    QLabel *m_testResult = nullptr;
    QPushButton *m_remove = nullptr;
    QLabel *m_removeError = nullptr;
};

} // namespace quindle::ui
