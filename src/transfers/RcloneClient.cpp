#include "transfers/RcloneClient.h"

#include "mover/ProcessRunner.h"
#include "platform/ChildProcess.h"
#include "platform/InstallHints.h"
#include "platform/ProgramLocations.h"
#include "transfers/Endpoint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace quindle {

namespace {

const QStringList checksumBackends{QStringLiteral("s3"),           QStringLiteral("drive"),
                                   QStringLiteral("googlephotos"), QStringLiteral("dropbox"),
                                   QStringLiteral("onedrive"),     QStringLiteral("box")};
const QStringList driveWords{QStringLiteral("drive"), QStringLiteral("photo"),
                             QStringLiteral("gphoto")};

bool hasDriveWord(const QString &endpoint) {
    const qsizetype colon = endpoint.indexOf(QLatin1Char(':'));
    if (colon < 1)
        return false;
    const QString name = endpoint.left(colon).toLower();
    return std::any_of(driveWords.cbegin(), driveWords.cend(),
                       [&](const QString &word) { return name.contains(word); });
}

std::optional<QJsonObject> jsonRecord(const QString &line) {
    if (!line.startsWith(QLatin1Char('{')))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8());
    return document.isObject() ? std::optional(document.object()) : std::nullopt;
}

platform::ChildCommand rcloneCommand(const QString &executable, const QStringList &arguments) {
    platform::ChildCommand command(executable, arguments);
    command.environment.insert(QStringLiteral("RCLONE_ASK_PASSWORD"), QStringLiteral("false"));
    command.deadline = std::chrono::seconds(30);
    return command;
}

} // namespace

std::optional<RcloneFeatures> RcloneFeatures::fromVersion(const QString &version) {
    static const QRegularExpression number(QStringLiteral(R"((\d+)\.(\d+)(?:\.(\d+))?)"));
    const QRegularExpressionMatch match = number.match(version);
    if (!match.hasMatch())
        return std::nullopt;
    return RcloneFeatures{match.captured(1).toInt(), match.captured(2).toInt(),
                          match.captured(3).toInt()};
}

namespace RcloneClient {

QString notInstalledText() {
    const QString command = platform::installCommand(QStringLiteral("rclone"));
    if (command.isEmpty())
        return QStringLiteral("rclone is not installed. Install rclone with your package manager.");
    return QStringLiteral("rclone is not installed. Install with: ") + command;
}

QString locate() {
    return platform::findRclone();
}

std::optional<QString> probeVersion(const QString &executable) {
    const platform::ChildResult result =
        platform::ChildProcess::run(rcloneCommand(executable, {QStringLiteral("version")}));
    if (!result.succeeded())
        return std::nullopt;
    const QStringList lines =
        QString::fromUtf8(result.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return std::nullopt;
    const QStringList words = lines.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return words.size() >= 2 ? words.at(1) : lines.first().trimmed();
}

QString lastErrorLine(const QByteArray &errorOutput) {
    static const QRegularExpression stamp(QStringLiteral(R"(^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d )"));
    const QStringList lines = QString::fromUtf8(errorOutput).split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        QString text = line->trimmed();
        text.remove(stamp);
        if (!text.isEmpty())
            return text;
    }
    return {};
}

bool involvesDriveLikeBackend(const SyncJob &job) {
    return hasDriveWord(job.source) || hasDriveWord(job.destination);
}

bool involvesRemote(const SyncJob &job) {
    return isRemotePath(job.source) || isRemotePath(job.destination);
}

bool involvesChecksumRemote(const SyncJob &job, const QHash<QString, QString> &remoteTypes) {
    for (const QString &endpoint : {job.source, job.destination})
        if (const std::optional<QString> name = remoteName(endpoint))
            if (checksumBackends.contains(remoteTypes.value(*name)))
                return true;
    return false;
}

QString replacedSuffix(const QDateTime &startedAt) {
    return QStringLiteral(".replaced-") +
           startedAt.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QStringList arguments(const SyncJob &job, const RcloneRunContext &context) {
    QStringList args{rcloneVerb(job.mode)};
    if (job.mode == JobMode::Bisync && job.bisyncResync)
        args << QStringLiteral("--resync");
    args << job.source << job.destination;
    args << QStringLiteral("--transfers") << QString::number(job.transfers)
         << QStringLiteral("--checkers") << QString::number(job.checkers);
    if (job.bandwidthLimit && !job.bandwidthLimit->trimmed().isEmpty())
        args << QStringLiteral("--bwlimit") << job.bandwidthLimit->trimmed();
    if (!involvesDriveLikeBackend(job))
        args << QStringLiteral("--fast-list");
    args << QStringLiteral("--use-server-modtime");
    if (context.features.metadata())
        args << QStringLiteral("--metadata");
    if (job.mode == JobMode::Copy && !context.interrupted)
        args << QStringLiteral("--update");
    // Without --update a move deletes a source only once its copy compares equal; a newer file
    // it overwrites on the destination is kept beside it under this suffix.
    if (job.mode == JobMode::Move)
        args << QStringLiteral("--suffix") << replacedSuffix(context.startedAt)
             << QStringLiteral("--suffix-keep-extension");
    args << QStringLiteral("--use-json-log") << QStringLiteral("--stats") << QStringLiteral("1s")
         << QStringLiteral("--stats-one-line") << QStringLiteral("--log-level")
         << QStringLiteral("INFO");
    if (job.dryRun)
        args << QStringLiteral("--dry-run");
    if (involvesRemote(job)) {
        args << QStringLiteral("--retries") << QStringLiteral("10")
             << QStringLiteral("--low-level-retries") << QStringLiteral("20")
             << QStringLiteral("--retries-sleep") << QStringLiteral("5s");
        if (context.features.partialSuffix())
            args << QStringLiteral("--partial-suffix") << QStringLiteral(".partial");
        if (involvesChecksumRemote(job, context.remoteTypes))
            args << QStringLiteral("--checksum");
    }
    return args;
}

std::optional<JobProgress> parseProgress(const QString &line) {
    const std::optional<QJsonObject> record = jsonRecord(line);
    if (!record || !record->value(QStringLiteral("stats")).isObject())
        return std::nullopt;
    const QJsonObject stats = record->value(QStringLiteral("stats")).toObject();
    const auto integer = [&](const char *key) {
        return stats.value(QLatin1String(key)).toInteger(0);
    };
    JobProgress progress;
    progress.bytesTransferred = integer("bytes");
    progress.bytesTotal = integer("totalBytes");
    progress.filesTransferred = static_cast<int>(integer("transfers"));
    progress.filesTotal = static_cast<int>(integer("totalTransfers"));
    progress.speedBytesPerSec = stats.value(QStringLiteral("speed")).toDouble(0);
    progress.errors = static_cast<int>(integer("errors"));
    if (const QJsonValue eta = stats.value(QStringLiteral("eta")); eta.isDouble())
        progress.etaSeconds = static_cast<int>(eta.toInteger());
    if (const QJsonArray transferring = stats.value(QStringLiteral("transferring")).toArray();
        !transferring.isEmpty())
        progress.currentFile =
            transferring.first().toObject().value(QStringLiteral("name")).toString();
    return progress;
}

QString readableLine(const QString &line) {
    const std::optional<QJsonObject> record = jsonRecord(line);
    if (!record)
        return line;
    QString text = record->value(QStringLiteral("msg")).toString().trimmed();
    if (const QString object = record->value(QStringLiteral("object")).toString();
        !object.isEmpty())
        text = object + QStringLiteral(": ") + text;
    const QString level = record->value(QStringLiteral("level")).toString();
    return level.isEmpty() || level == QLatin1String("info")
               ? text
               : level.toUpper() + QStringLiteral(": ") + text;
}

} // namespace RcloneClient

RcloneRun::RcloneRun(QObject *parent)
    : QObject(parent) {}

RcloneRun::~RcloneRun() = default;

std::optional<QString> RcloneRun::start(const QString &executable, const QStringList &arguments) {
    if (executable.isEmpty())
        return RcloneClient::notInstalledText();
    m_process = std::make_unique<StreamedProcess>();
    connect(m_process.get(), &StreamedProcess::standardOutputLine, this, &RcloneRun::take);
    connect(m_process.get(), &StreamedProcess::standardErrorLine, this, &RcloneRun::take);
    connect(m_process.get(), &StreamedProcess::finished, this,
            [this](int status) { Q_EMIT finished(status, m_process->endedBySignal()); });
    StreamedProcess::Options options;
    // Never a prompt for a configuration password: standard input is empty anyway.
    options.environment.insert(QStringLiteral("RCLONE_ASK_PASSWORD"), QStringLiteral("false"));
    options.endsWithParent = true;
    if (!m_process->start(executable, arguments, options))
        return m_process->errorString();
    return std::nullopt;
}

void RcloneRun::terminate() {
    if (m_process)
        m_process->terminate();
}

qint64 RcloneRun::pid() const {
    return m_process ? m_process->pid() : 0;
}

void RcloneRun::take(const QString &line) {
    if (const std::optional<JobProgress> value = RcloneClient::parseProgress(line)) {
        Q_EMIT progress(*value);
        return;
    }
    Q_EMIT logLine(RcloneClient::readableLine(line));
}

} // namespace quindle
