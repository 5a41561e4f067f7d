#pragma once

#include "core/StatePaths.h"
#include "platform/ChildProcess.h"
#include "support/FakeExecutables.h"
#include "support/FakeVolumeWatcher.h"
#include "support/TempHome.h"
#include "support/TreeGenerator.h"
#include "support/WaitUntil.h"
#include "transfers/SyncManager.h"

#include <QDir>
#include <QRegularExpression>

#include <memory>

namespace quindle::test {

// The tree's files by relative path: what rclone copies (it makes no empty folders).
QMap<QString, QByteArray> fileEntries(const QString &root);
// The same without the destination files a move replaced and kept beside (*.replaced-*).
QMap<QString, QByteArray> fileEntriesBesideReplaced(const QString &root);

// `rclone serve webdav|sftp` of a folder on a free loopback port, for as long as it lives.
class RclonePeer {
public:
    enum class Kind { WebDav, Sftp };

    // Without `authentication`, any user and password are let in.
    RclonePeer(Kind kind, const QString &folder, const QStringList &authentication = {});
    bool ready() const { return !m_address.isEmpty(); }
    QString port() const { return m_address.section(u':', -1).remove(u'/'); }
    void stop() { m_server.reset(); }
    // The lines of rclone.conf that name this peer `name`.
    QString configSection(const QString &name) const;

private:
    Kind m_kind;
    std::unique_ptr<platform::ChildProcess> m_server;
    QString m_address; // http://127.0.0.1:port/ or 127.0.0.1:port
};

// A temporary home with its own rclone configuration (a memory remote, an alias of a local
// folder and whatever peers a test adds) and a manager to build on it.
class TransferTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    void writeRcloneConfig(const QString &extra = {});
    // Serves `folder` and adds it to the configuration as `name`.
    RclonePeer &addPeer(RclonePeer::Kind kind, const QString &name, const QString &folder);

    // The service's status file naming `path` as the drive.
    void reportDrive(const QString &path);
    void allowPlainFolderDrive(bool allowed);

    SyncManager &makeManager();
    SyncJob job(JobMode mode, const QString &source, const QString &destination) const;
    bool waitForState(const QUuid &id, JobState state, int timeoutMs = 60000);
    JobState stateOf(const QUuid &id) const;
    // A file that rclone needs a few seconds for at the given limit.
    void writeSlowFile(const QString &path, qint64 bytes);

    QString rcloneConfig;
    FakeVolumeWatcher volumes;
    std::unique_ptr<SyncManager> manager;
    std::function<QDateTime()> clock;
    std::vector<std::unique_ptr<RclonePeer>> peers;
    QString peerSections;
};

} // namespace quindle::test
