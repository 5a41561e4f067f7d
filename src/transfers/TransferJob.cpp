#include "transfers/TransferJob.h"

#include "core/JsonFields.h"
#include "core/JsonFormat.h"
#include "mover/MoveManifest.h"

#include <QJsonArray>

#include <array>

namespace quindle {

namespace {

struct ModeText {
    JobMode mode;
    const char *raw;
    const char *verb;
    const char *label;
    const char *description;
};
constexpr std::array<ModeText, 4> modeTexts{{
    {JobMode::Copy, "copy", "copy", "Copy",
     "Duplicate from source to destination. Source untouched."},
    {JobMode::Move, "move", "move", "Move", "Copy then delete source. Verifies before deletion."},
    {JobMode::SyncOneWay, "sync_one_way", "sync", "Sync (one-way)",
     "Make destination mirror source. Files in destination but not in source are deleted."},
    {JobMode::Bisync, "bisync", "bisync", "Bidirectional sync",
     "Keep both sides in sync. Changes on either side propagate to the other. Conflicts logged."},
}};

const ModeText &texts(JobMode mode) {
    for (const ModeText &text : modeTexts)
        if (text.mode == mode)
            return text;
    return modeTexts.front();
}

constexpr std::array<const char *, 8> stateNames{"queued",   "preparing",        "running",
                                                 "paused",   "completed",        "failed",
                                                 "canceled", "waiting_for_drive"};

std::optional<QString> optionalText(JsonFields &fields, const char *key) {
    return fields.optionalString(QLatin1String(key));
}

void insertDate(QJsonObject &object, const char *key, const std::optional<QDateTime> &date) {
    if (date)
        object.insert(QLatin1String(key), isoDate(*date));
}

} // namespace

QString rawValue(JobMode mode) {
    return QLatin1String(texts(mode).raw);
}

std::optional<JobMode> jobModeFromRaw(const QString &raw) {
    for (const ModeText &text : modeTexts)
        if (raw == QLatin1String(text.raw))
            return text.mode;
    return std::nullopt;
}

QString rcloneVerb(JobMode mode) {
    return QLatin1String(texts(mode).verb);
}

QString label(JobMode mode) {
    return QLatin1String(texts(mode).label);
}

QString description(JobMode mode) {
    return QLatin1String(texts(mode).description);
}

QString rawValue(JobState state) {
    return QLatin1String(stateNames.at(static_cast<size_t>(state)));
}

std::optional<JobState> jobStateFromRaw(const QString &raw) {
    for (size_t i = 0; i < stateNames.size(); ++i)
        if (raw == QLatin1String(stateNames.at(i)))
            return static_cast<JobState>(i);
    return std::nullopt;
}

QString badgeText(JobState state) {
    if (state == JobState::WaitingForDrive)
        return QStringLiteral("Waiting for drive");
    const QString raw = rawValue(state);
    return raw.left(1).toUpper() + raw.mid(1);
}

bool isActiveForDedup(JobState state) {
    return !isFinished(state);
}

bool isFinished(JobState state) {
    return state == JobState::Completed || state == JobState::Failed || state == JobState::Canceled;
}

QJsonObject JobProgress::toJson() const {
    QJsonObject object{{QStringLiteral("bytesTransferred"), bytesTransferred},
                       {QStringLiteral("bytesTotal"), bytesTotal},
                       {QStringLiteral("filesTransferred"), filesTransferred},
                       {QStringLiteral("filesTotal"), filesTotal},
                       {QStringLiteral("speedBytesPerSec"), speedBytesPerSec},
                       {QStringLiteral("errors"), errors}};
    if (etaSeconds)
        object.insert(QStringLiteral("etaSeconds"), *etaSeconds);
    if (currentFile)
        object.insert(QStringLiteral("currentFile"), *currentFile);
    return object;
}

std::optional<JobProgress> JobProgress::fromJson(const QJsonObject &object) {
    JsonFields fields(object);
    JobProgress p;
    p.bytesTransferred = fields.requiredInteger(QStringLiteral("bytesTransferred"));
    p.bytesTotal = fields.requiredInteger(QStringLiteral("bytesTotal"));
    p.filesTransferred =
        static_cast<int>(fields.requiredInteger(QStringLiteral("filesTransferred")));
    p.filesTotal = static_cast<int>(fields.requiredInteger(QStringLiteral("filesTotal")));
    p.errors = static_cast<int>(fields.requiredInteger(QStringLiteral("errors")));
    if (!object.value(QStringLiteral("speedBytesPerSec")).isDouble())
        return std::nullopt;
    p.speedBytesPerSec = object.value(QStringLiteral("speedBytesPerSec")).toDouble();
    if (const auto eta = fields.optionalInteger(QStringLiteral("etaSeconds")))
        p.etaSeconds = static_cast<int>(*eta);
    p.currentFile = fields.optionalString(QStringLiteral("currentFile"));
    if (!fields.ok())
        return std::nullopt;
    return p;
}

SyncJob::SyncJob(JobMode mode, QString source, QString destination)
    : id(QUuid::createUuid())
    , createdAt(nowUtc())
    , mode(mode)
    , source(std::move(source))
    , destination(std::move(destination)) {}

QJsonObject SyncJob::toJson() const {
    QJsonObject object{
        {QStringLiteral("id"), uuidText(id)},
        {QStringLiteral("createdAt"), isoDate(createdAt)},
        {QStringLiteral("mode"), rawValue(mode)},
        {QStringLiteral("source"), source},
        {QStringLiteral("destination"), destination},
        {QStringLiteral("transfers"), transfers},
        {QStringLiteral("checkers"), checkers},
        {QStringLiteral("dryRun"), dryRun},
        {QStringLiteral("bisyncResync"), bisyncResync},
        {QStringLiteral("state"), rawValue(state)},
        {QStringLiteral("progress"), progress.toJson()},
        {QStringLiteral("schedule"), schedule.toJson()},
        {QStringLiteral("isScheduledInstance"), isScheduledInstance},
    };
    if (bandwidthLimit)
        object.insert(QStringLiteral("bandwidthLimit"), *bandwidthLimit);
    if (errorMessage)
        object.insert(QStringLiteral("errorMessage"), *errorMessage);
    if (missedRuns > 0)
        object.insert(QStringLiteral("missedRuns"), missedRuns);
    if (replacedFiles > 0)
        object.insert(QStringLiteral("replacedFiles"), replacedFiles);
    insertDate(object, "startedAt", startedAt);
    insertDate(object, "completedAt", completedAt);
    insertDate(object, "lastScheduledRun", lastScheduledRun);
    return object;
}

std::optional<SyncJob> SyncJob::fromJson(const QJsonObject &object, QString *error) {
    JsonFields fields(object);
    SyncJob job;
    job.id = QUuid::fromString(fields.requiredString(QStringLiteral("id")));
    job.createdAt = fields.requiredDate(QStringLiteral("createdAt"));
    const auto mode = fields.requiredEnum<JobMode>(QStringLiteral("mode"), jobModeFromRaw);
    job.source = fields.requiredString(QStringLiteral("source"));
    job.destination = fields.requiredString(QStringLiteral("destination"));
    job.bandwidthLimit = optionalText(fields, "bandwidthLimit");
    job.transfers = static_cast<int>(fields.requiredInteger(QStringLiteral("transfers")));
    job.checkers = static_cast<int>(fields.requiredInteger(QStringLiteral("checkers")));
    job.dryRun = fields.requiredBool(QStringLiteral("dryRun"));
    const auto state = fields.requiredEnum<JobState>(QStringLiteral("state"), jobStateFromRaw);
    const auto progress =
        JobProgress::fromJson(object.value(QStringLiteral("progress")).toObject());
    job.startedAt = fields.optionalDate(QStringLiteral("startedAt"));
    job.completedAt = fields.optionalDate(QStringLiteral("completedAt"));
    job.errorMessage = optionalText(fields, "errorMessage");
    job.lastScheduledRun = fields.optionalDate(QStringLiteral("lastScheduledRun"));
    job.missedRuns = static_cast<int>(fields.integerOr(QStringLiteral("missedRuns"), 0));
    job.replacedFiles = static_cast<int>(fields.integerOr(QStringLiteral("replacedFiles"), 0));
    QString problem = fields.error();
    if (problem.isEmpty() && job.id.isNull())
        problem = QStringLiteral("The key “id” does not hold a UUID.");
    if (problem.isEmpty() && !progress)
        problem = QStringLiteral("The key “progress” is missing or incomplete.");
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return std::nullopt;
    }
    job.mode = *mode;
    job.state = *state;
    job.progress = *progress;

    // These three fall back to their defaults on any problem.
    const QJsonValue resync = object.value(QStringLiteral("bisyncResync"));
    job.bisyncResync = resync.isBool() && resync.toBool();
    const QJsonValue instance = object.value(QStringLiteral("isScheduledInstance"));
    job.isScheduledInstance = instance.isBool() && instance.toBool();
    job.schedule = Schedule::fromJson(object.value(QStringLiteral("schedule")).toObject())
                       .value_or(Schedule::none());
    return job;
}

QString missedRunsText(const SyncJob &job) {
    if (job.missedRuns <= 0 || !job.lastScheduledRun)
        return {};
    return QStringLiteral("Missed %1 scheduled runs; replaced by one run at %2.")
        .arg(job.missedRuns)
        .arg(job.lastScheduledRun->toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

} // namespace quindle
