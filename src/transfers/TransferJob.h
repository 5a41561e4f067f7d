#pragma once

#include "transfers/Schedule.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace quindle {

enum class JobMode { Copy, Move, SyncOneWay, Bisync };
enum class JobState {
    Queued,
    Preparing,
    Running,
    Paused,
    Completed,
    Failed,
    Canceled,
    WaitingForDrive
};

inline constexpr JobMode allJobModes[] = {JobMode::Copy, JobMode::Move, JobMode::SyncOneWay,
                                          JobMode::Bisync};

QString rawValue(JobMode mode);
std::optional<JobMode> jobModeFromRaw(const QString &raw);
QString rcloneVerb(JobMode mode);
QString label(JobMode mode);
QString description(JobMode mode);

QString rawValue(JobState state);
std::optional<JobState> jobStateFromRaw(const QString &raw);
// The state badge: "Queued", … "Waiting for drive".
QString badgeText(JobState state);
// A job in one of these states blocks a second one with the same endpoints and mode.
bool isActiveForDedup(JobState state);
bool isFinished(JobState state);

struct JobProgress {
    qint64 bytesTransferred = 0;
    qint64 bytesTotal = 0;
    int filesTransferred = 0;
    int filesTotal = 0;
    double speedBytesPerSec = 0;
    std::optional<int> etaSeconds;
    std::optional<QString> currentFile;
    int errors = 0;

    QJsonObject toJson() const;
    static std::optional<JobProgress> fromJson(const QJsonObject &object);
    bool operator==(const JobProgress &) const = default;
};

// One rclone run between two endpoints, as the manager keeps and saves it.
struct SyncJob {
    SyncJob() = default;
    // A new job with every default: a fresh id, created now, queued.
    SyncJob(JobMode mode, QString source, QString destination);

    QUuid id;
    QDateTime createdAt;
    JobMode mode = JobMode::Copy;
    QString source;
    QString destination;
    std::optional<QString> bandwidthLimit;
    int transfers = 8;
    int checkers = 16;
    bool dryRun = false;
    bool bisyncResync = false;
    JobState state = JobState::Queued;
    JobProgress progress;
    std::optional<QDateTime> startedAt;
    std::optional<QDateTime> completedAt;
    std::optional<QString> errorMessage;
    Schedule schedule;
    std::optional<QDateTime> lastScheduledRun;
    bool isScheduledInstance = false;
    int missedRuns = 0;    // fire times a catch-up run replaced, on a template
    int replacedFiles = 0; // destination files a move overwrote and kept beside

    QStringList log; // output lines; never saved

    bool isTemplate() const { return !schedule.isNone() && !isScheduledInstance; }
    bool sameTransfer(const SyncJob &other) const {
        return mode == other.mode && source == other.source && destination == other.destination;
    }

    QJsonObject toJson() const;
    // Nothing, with the reason in `error`, when a required key is missing or wrong.
    static std::optional<SyncJob> fromJson(const QJsonObject &object, QString *error = nullptr);
};

// "Missed 2 scheduled runs; replaced by one run at 25.03.2026 10:00." — empty without misses.
QString missedRunsText(const SyncJob &job);

} // namespace quindle
