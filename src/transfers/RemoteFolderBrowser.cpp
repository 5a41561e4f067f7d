#include "transfers/RemoteFolderBrowser.h"

#include "core/WhenFinished.h"

namespace quindle {

RemoteFolderBrowser::RemoteFolderBrowser(RemoteManager &manager, Remote remote, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_remote(std::move(remote)) {}

void RemoteFolderBrowser::refresh() {
    m_loading = true;
    m_error.reset();
    const int generation = ++m_generation;
    Q_EMIT changed();
    whenFinished(m_manager.listFolders(m_remote.name, m_path), this,
                 [this, generation](const FolderListing &listing) {
                     if (generation != m_generation)
                         return;
                     m_folders = listing.folders;
                     m_error = listing.error;
                     m_loading = false;
                     Q_EMIT changed();
                 });
}

void RemoteFolderBrowser::descend(const QString &name) {
    jumpTo(m_path.isEmpty() ? name : m_path + QLatin1Char('/') + name);
}

void RemoteFolderBrowser::jumpTo(const QString &path) {
    m_path = path;
    m_folders.clear();
    refresh();
}

QList<RemoteFolderBrowser::Crumb> RemoteFolderBrowser::crumbs() const {
    QList<Crumb> crumbs{{m_remote.name, QString()}};
    QStringList walked;
    for (const QString &component : m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked << component;
        crumbs.append({component, walked.join(QLatin1Char('/'))});
    }
    return crumbs;
}

QString RemoteFolderBrowser::chosenPath() const {
    return m_remote.rootPath() + m_path;
}

QString RemoteFolderBrowser::loadingText() {
    return QStringLiteral("Listing folders…");
}

QString RemoteFolderBrowser::emptyTitle() {
    return QStringLiteral("No subfolders here");
}

QString RemoteFolderBrowser::emptyHint() {
    return QStringLiteral("Click “Use This Folder” below to pick this location.");
}

QString RemoteFolderBrowser::errorTitle() {
    return QStringLiteral("Could not list folders");
}

} // namespace quindle
