#pragma once

#include "transfers/Remote.h"
#include "transfers/RemoteManager.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// The folder browser's view state: one remote, walked one level at a time. The listing itself
// is the manager's.
class RemoteFolderBrowser : public QObject {
    Q_OBJECT
public:
    using Crumb = QPair<QString, QString>; // label, path

    RemoteFolderBrowser(RemoteManager &manager, Remote remote, QObject *parent = nullptr);

    const Remote &remote() const { return m_remote; }
    const QString &path() const { return m_path; } // no leading or trailing slash; "" is the root
    const QStringList &folders() const { return m_folders; }
    bool isLoading() const { return m_loading; }
    const std::optional<QString> &error() const { return m_error; }

    void refresh();
    void descend(const QString &name);
    void jumpTo(const QString &path);
    // The root first, labelled with the remote's name, then one per component of the path.
    QList<Crumb> crumbs() const;
    // "name:path", or "name:" at the root.
    QString chosenPath() const;

    static QString loadingText();
    static QString emptyTitle();
    static QString emptyHint();
    static QString errorTitle();

Q_SIGNALS:
    void changed();

private:
    RemoteManager &m_manager;
    Remote m_remote;
    QString m_path;
    QStringList m_folders;
    bool m_loading = false;
    std::optional<QString> m_error;
    int m_generation = 0; // only the newest listing is shown
};

} // namespace quindle
