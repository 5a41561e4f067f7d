#pragma once

#include "transfers/Remote.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace quindle {

// The sub-folders of one remote folder, or why they could not be listed.
struct FolderListing {
    QStringList folders;          // sorted as a person sorts names
    std::optional<QString> error; // rclone's last error line, or a sentence of ours
};

// The accounts (rclone remotes) and the kinds of account that can be added, kept through the
// account helper script. Lives on the main thread; every call that runs a program returns at
// once and answers later.
class RemoteManager : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds helperTimeout{60};
    static constexpr std::chrono::seconds listingTimeout{60};

    explicit RemoteManager(QObject *parent = nullptr);

    const QList<Remote> &remotes() const { return m_remotes; }
    const QList<RemoteType> &availableTypes() const { return m_types; }
    bool loading() const { return m_loading; }
    bool hasLoaded() const { return m_loaded; }
    std::optional<Remote> remote(const QString &name) const;
    // Remote name → backend type, for the transfer engine's checksum rule.
    QHash<QString, QString> remoteTypes() const;

    // Reads both lists again; a run that fails keeps the previous ones.
    void refresh();
    QFuture<RemoteTestResult> test(const QString &name);
    // Removes the account, its secrets and its record, then refreshes; the reason on failure.
    QFuture<std::optional<QString>> remove(const QString &name);
    QFuture<FolderListing> listFolders(const QString &name, const QString &path);

    // Blocking forms, for the command line and worker threads.
    static std::optional<QList<Remote>> readRemotes();
    static std::optional<QList<RemoteType>> readTypes();
    static RemoteTestResult testBlocking(const QString &name);
    static std::optional<QString> removeBlocking(const QString &name);
    static FolderListing listFoldersBlocking(const QString &name, const QString &path);

    static QHash<QString, QString> typesByName(const QList<Remote> &remotes);
    static QString removalText();

Q_SIGNALS:
    void remotesChanged();
    void loadingChanged();

private:
    QList<Remote> m_remotes;
    QList<RemoteType> m_types;
    bool m_loading = false;
    bool m_loaded = false;
    int m_pendingRefreshes = 0;
};

} // namespace quindle
