#pragma once

#include "transfers/TransferJob.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace quindle {

class StreamedProcess;

// What the installed rclone accepts, from its version.
struct RcloneFeatures {
    int major = 0, minor = 0, patch = 0;

    // "1.60.1-DEV", "v1.63.0" or rclone's banner line; nothing when no version is in it.
    static std::optional<RcloneFeatures> fromVersion(const QString &version);

    bool atLeast(int wantedMajor, int wantedMinor) const {
        return major > wantedMajor || (major == wantedMajor && minor >= wantedMinor);
    }
    bool partialSuffix() const { return atLeast(1, 63); }
    bool metadata() const { return atLeast(1, 59); }
    bool bisync() const { return atLeast(1, 58); }
};

// Everything beside the job that decides its arguments.
struct RcloneRunContext {
    RcloneFeatures features;
    QHash<QString, QString> remoteTypes; // remote name → backend type
    bool interrupted = false;            // the pair's last run was cut short
    QDateTime startedAt;                 // names the files a move keeps beside
};

namespace RcloneClient {

// "rclone is not installed. Install with: sudo apt install rclone"
QString notInstalledText();

// The executable (QUINDLE_RCLONE, the fixed places, then PATH); empty when there is none.
QString locate();
// "1.60.1-DEV" from `rclone version`; nothing when it does not run.
std::optional<QString> probeVersion(const QString &executable);
// The last line rclone printed on its error output that says something, without its date and
// time; empty when it printed none.
QString lastErrorLine(const QByteArray &errorOutput);

bool involvesDriveLikeBackend(const SyncJob &job);
bool involvesRemote(const SyncJob &job);
bool involvesChecksumRemote(const SyncJob &job, const QHash<QString, QString> &remoteTypes);

// The arguments after the executable. A copy whose pair was interrupted, and every move, leave
// out --update: rclone leaves a cut-short file under its final name with a fresh time, which
// --update would then trust (and a move would delete its source for).
QStringList arguments(const SyncJob &job, const RcloneRunContext &context);

// The suffix a move gives a destination file it replaces: ".replaced-yyyyMMdd-HHmmss".
QString replacedSuffix(const QDateTime &startedAt);

// The progress in one of rclone's JSON stats records; nothing for any other line.
std::optional<JobProgress> parseProgress(const QString &line);
// A JSON log record as a person reads it ("ERROR: a.txt: Failed to copy: …"); other lines as
// they are.
QString readableLine(const QString &line);

} // namespace RcloneClient

// One running rclone. Output lines become progress (stats records) or log lines (the rest);
// finished() comes once, after the last of them.
class RcloneRun : public QObject {
    Q_OBJECT
public:
    explicit RcloneRun(QObject *parent = nullptr);
    ~RcloneRun() override;

    // The reason when it could not start; nothing once it runs.
    std::optional<QString> start(const QString &executable, const QStringList &arguments);
    void terminate();
    qint64 pid() const;

Q_SIGNALS:
    void progress(const quindle::JobProgress &progress);
    void logLine(const QString &line);
    void finished(int status, bool bySignal);

private:
    void take(const QString &line);

    std::unique_ptr<StreamedProcess> m_process;
};

} // namespace quindle
