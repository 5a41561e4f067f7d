#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quindle {

// One dated backup folder on the drive.
struct BackupRecord {
    QString folder;
    QDateTime date; // from the folder's name, local time; midnight when it names no time
    std::optional<QString> host;
    std::optional<QString> version;
    bool operator==(const BackupRecord &) const = default;

    // "2026-12-06 21:35:31", "2026-12-06 21:35:31 (2)" for the second of that second, or the
    // day alone when the name has no time.
    QString dateText() const;
};

// Why there is no backup to list.
enum class BackupEmptyReason { NVMePathMissing, BackupFolderMissing, NoDatedFolders, HasRecords };

// The service's self-backups on the drive: listed, made on demand and restored.
class BackupStore : public QObject {
    Q_OBJECT
public:
    // `jobsRunning` says whether a move, app move or transfer of this process is under way;
    // `afterSwap` runs once a restore has replaced the state folder (to take the engine lock
    // again in the new one).
    explicit BackupStore(std::function<bool()> jobsRunning = {},
                         std::function<void()> afterSwap = {}, QObject *parent = nullptr);

    // <working folder>/Quindle-Backup on the drive the service's status names.
    static std::optional<QString> backupRoot();

    void refresh();
    // Runs backup-self; backingUpChanged and changed() tell the progress.
    void runBackupNow();
    // The same on the calling thread, for the command line; then refreshes.
    void runBackupNowBlocking();
    // Puts the backup's configuration, state and transfer records in place of the current ones,
    // which stay beside them as <name>.pre-restore-<time>. Nothing on success, else why not.
    std::optional<QString> restore(const BackupRecord &record);

    const QList<BackupRecord> &records() const { return m_records; } // newest first
    BackupEmptyReason emptyReason() const { return m_emptyReason; }
    QString emptyText() const;
    bool isBackingUpNow() const { return m_backingUp; }
    const std::optional<QString> &lastManualResult() const { return m_lastManualResult; }
    bool lastManualSucceeded() const { return m_lastManualSucceeded; }

    static QString busyText();
    static QString restoreConfirmationText(const BackupRecord &record);
    static QString restoredText(const BackupRecord &record);

Q_SIGNALS:
    void changed();

private:
    bool toolMissing();
    void conclude(int status, const QString &output);

    std::function<bool()> m_jobsRunning;
    std::function<void()> m_afterSwap;
    QList<BackupRecord> m_records;
    BackupEmptyReason m_emptyReason = BackupEmptyReason::NVMePathMissing;
    bool m_backingUp = false;
    std::optional<QString> m_lastManualResult;
    bool m_lastManualSucceeded = false;
};

} // namespace quindle
