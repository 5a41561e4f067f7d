#pragma once

#include "transfers/RemoteFolderBrowser.h"

#include <QDialog>

class QHBoxLayout;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace quindle::ui {

// Picks a folder on one remote, a level at a time along a breadcrumb; chosenPath() is the
// transfer path "name:folder" once accepted.
class RemoteFolderDialog : public QDialog {
    Q_OBJECT
public:
    RemoteFolderDialog(RemoteManager &remotes, const Remote &remote, QWidget *parent = nullptr);

    RemoteFolderBrowser &browser() { return m_browser; }
    QString chosenPath() const { return m_browser.chosenPath(); }

private:
    void present();

    RemoteFolderBrowser m_browser;
    QHBoxLayout *m_crumbs = nullptr;
    QStackedWidget *m_body = nullptr;
    QListWidget *m_folders = nullptr;
    QLabel *m_statusTitle = nullptr;
    QLabel *m_statusText = nullptr;
};

} // namespace quindle::ui
