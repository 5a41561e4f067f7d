#pragma once

#include "tier/TierListing.h"
#include "tier/TierTypes.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;
class QTreeWidget;

namespace quindle {
class PairingModel;
}

namespace quindle::ui {

// One side of the Tier window: where it stands, how to move up and home, and the folder's
// entries, folders first, with a selection the pairing model keeps. Listings are read off the
// main thread; a result for a folder the pane has left is dropped.
class TierPane : public QWidget {
    Q_OBJECT
public:
    TierPane(Side side, PairingModel &pairing, QWidget *parent = nullptr);

    Side side() const { return m_side; }
    QTreeWidget *listing() const { return m_listing; }
    // The folder whose entries are shown, once its listing has arrived.
    const QString &shownFolder() const { return m_shownFolder; }
    QStringList shownNames() const;
    static QString title(Side side);
    // The accounts the right pane's location menu offers ("name:" each).
    void setCloudAccounts(const QStringList &names);
    // The text over an empty listing: empty, loading, or why a cloud folder could not be listed.
    QString statusText() const;

Q_SIGNALS:
    // A listing arrived and is shown.
    void listed();

private:
    void reload();
    void present(const QString &folder, const QList<FolderEntry> &entries);
    void pushSelection();
    void pullSelection();
    void presentPath();
    void goTo(const QString &typed);
    void showStatus(const QString &text);
    void presentSlowLoading();

    Side m_side;
    PairingModel &m_pairing;
    QLineEdit *m_path = nullptr;
    QToolButton *m_up = nullptr;
    QToolButton *m_home = nullptr;
    QToolButton *m_refresh = nullptr;
    QToolButton *m_mirror = nullptr;
    QToolButton *m_accounts = nullptr;
    QStringList m_accountNames;
    QTimer m_slowTimer;
    QElapsedTimer m_loadingFor;
    QTreeWidget *m_listing = nullptr;
    QLabel *m_empty = nullptr;
    QString m_shownFolder;
    quint64 m_generation = 0;
    bool m_syncing = false;
};

} // namespace quindle::ui
