#include "insight/BackupStore.h"

#include "core/DriveIdentity.h"
#include "core/ServiceBridge.h"
#include "core/ServiceScripts.h"
#include "core/ServiceStatus.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"
#include "mover/RsyncSupport.h"
#include "platform/ExclusiveFileLock.h"
#include "platform/PathExchange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace quindle {

namespace {

constexpr std::chrono::seconds backupTimeout{120};

// What a restore puts back, each from the same name in the backup folder.
const QStringList restoredItems{QStringLiteral("quindle.conf"), QStringLiteral("state"),
                                QStringLiteral("sync")};

std::optional<QDateTime> dateFromName(const QString &name) {
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d{4}-\d{2}-\d{2})(?:_(\d{6}))?)"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    const QLocale posix = QLocale::c();
    const QDate day = posix.toDate(match.captured(1), QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return std::nullopt;
    const QTime time = match.captured(2).isEmpty()
                           ? QTime(0, 0)
                           : posix.toTime(match.captured(2), QStringLiteral("HHmmss"));
    return time.isValid() ? QDateTime(day, time) : day.startOfDay();
}

void readManifest(BackupRecord &record) {
    QFile file(record.folder + QStringLiteral("/manifest.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const QString value = line.section(QLatin1Char('='), 1);
        if (key == QLatin1String("host"))
            record.host = value;
        else if (key == QLatin1String("version"))
            record.version = value;
    }
}

bool exists(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// `base`, or base-2, base-3 … when a restore earlier in the same second took it.
QString unusedName(const QString &base) {
    QString name = base;
    for (int n = 2; exists(name); ++n)
        name = base + QLatin1Char('-') + QString::number(n);
    return name;
}

bool passRunning() {
    if (!QFileInfo::exists(paths::passLockFile()))
        return false;
    return !platform::ExclusiveFileLock::tryTake(paths::passLockFile()).has_value();
}

// The whole of `source` at `destination`, which does not exist yet.
std::optional<QString> copyItem(const QString &source, const QString &destination) {
    const std::optional<RsyncSupport> rsync = RsyncSupport::probe();
    if (!rsync)
        return QStringLiteral("rsync is not installed.");
    const bool folder = QFileInfo(source).isDir() && !QFileInfo(source).isSymLink();
    const QString tail = folder ? QStringLiteral("/") : QString();
    const platform::ChildResult copy = platform::ChildProcess::run(
        platform::ChildCommand(rsync->executablePath, {QStringLiteral("-a"), QStringLiteral("--"),
                                                       source + tail, destination + tail}));
    if (copy.succeeded())
        return std::nullopt;
    const QString said = QString::fromUtf8(copy.error).trimmed();
    return said.isEmpty() ? QStringLiteral("rsync ended with status %1.").arg(copy.shellStatus())
                          : said;
}

} // namespace

QString BackupRecord::dateText() const {
    const QString when = date.time() == QTime(0, 0)
                             ? date.toString(QStringLiteral("yyyy-MM-dd"))
                             : date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // A second backup within the same second is told apart by its count.
    static const QRegularExpression count(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}_\d{6}-(\d+)$)"));
    const QRegularExpressionMatch match = count.match(QFileInfo(folder).fileName());
    return match.hasMatch() ? when + QStringLiteral(" (") + match.captured(1) + QLatin1Char(')')
                            : when;
}

BackupStore::BackupStore(std::function<bool()> jobsRunning, std::function<void()> afterSwap,
                         QObject *parent)
    : QObject(parent)
    , m_jobsRunning(std::move(jobsRunning))
    , m_afterSwap(std::move(afterSwap)) {}

std::optional<QString> BackupStore::backupRoot() {
    const std::optional<QString> drive = StatusFileKeys::read().nvmePath;
    if (!drive || drive->isEmpty() || !QFileInfo(*drive).isDir())
        return std::nullopt;
    return WorkingFolder::path(*drive) + QStringLiteral("/Quindle-Backup");
}

void BackupStore::refresh() {
    m_records.clear();
    const std::optional<QString> root = backupRoot();
    if (!root) {
        m_emptyReason = BackupEmptyReason::NVMePathMissing;
    } else if (!QFileInfo(*root).isDir()) {
        m_emptyReason = BackupEmptyReason::BackupFolderMissing;
    } else {
        // Hidden entries are backups still being written.
        const QFileInfoList entries = QDir(*root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            const std::optional<QDateTime> date = dateFromName(entry.fileName());
            if (!date)
                continue;
            BackupRecord record{entry.absoluteFilePath(), *date, std::nullopt, std::nullopt};
            readManifest(record);
            m_records.append(record);
        }
        std::sort(m_records.begin(), m_records.end(), [](const auto &a, const auto &b) {
            return a.date != b.date ? a.date > b.date : a.folder > b.folder;
        });
        m_emptyReason =
            m_records.isEmpty() ? BackupEmptyReason::NoDatedFolders : BackupEmptyReason::HasRecords;
    }
    Q_EMIT changed();
}

QString BackupStore::emptyText() const {
    switch (m_emptyReason) {
    case BackupEmptyReason::NVMePathMissing:
        return QStringLiteral("Connect the NVMe to see its backups.");
    case BackupEmptyReason::BackupFolderMissing:
        return QStringLiteral("There are no backups on the NVMe yet.");
    case BackupEmptyReason::NoDatedFolders:
        return QStringLiteral("The backup folder on the NVMe holds no dated backups.");
    case BackupEmptyReason::HasRecords:
        break;
    }
    return {};
}

bool BackupStore::toolMissing() {
    if (QFileInfo::exists(paths::serviceScript()))
        return false;
    m_lastManualResult = QStringLiteral("Tool not found at ") + paths::serviceScript() +
                         QStringLiteral(" — re-run Setup from the menu bar.");
    m_lastManualSucceeded = false;
    Q_EMIT changed();
    return true;
}

void BackupStore::runBackupNow() {
    if (m_backingUp || toolMissing())
        return;
    m_backingUp = true;
    Q_EMIT changed();
    whenFinished(ServiceBridge::runProcess(service::program(),
                                           service::arguments(service::backupSelf), backupTimeout),
                 this,
                 [this](const ProcessOutput &result) { conclude(result.status, result.output); });
}

void BackupStore::runBackupNowBlocking() {
    if (toolMissing())
        return;
    const ProcessOutput result = ServiceBridge::runProcessBlocking(
        service::program(), service::arguments(service::backupSelf), backupTimeout);
    conclude(result.status, result.output);
}

void BackupStore::conclude(int status, const QString &output) {
    const QString said = output.trimmed();
    m_lastManualSucceeded = status == 0;
    if (status == 0)
        m_lastManualResult = said.isEmpty() ? QStringLiteral("Backup completed.") : said;
    else
        m_lastManualResult = QStringLiteral("Backup failed (exit %1). ").arg(status) + said;
    m_backingUp = false;
    refresh();
}

std::optional<QString> BackupStore::restore(const BackupRecord &record) {
    if ((m_jobsRunning && m_jobsRunning()) || passRunning())
        return busyText();
    // Basic ISO 8601: one stamp for every item, and no colon in a file name.
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    bool swapped = false;
    std::optional<QString> failure;
    for (const QString &item : restoredItems) {
        const QString source = record.folder + QLatin1Char('/') + item;
        if (!exists(source))
            continue;
        const QString destination = paths::quindleDirectory() + QLatin1Char('/') + item;
        // Copied whole beside the current one, then swapped in: the service, which rewrites
        // state/ every tick, never finds it missing or half there.
        const QString staged = unusedName(destination + QStringLiteral(".restoring-") + stamp);
        if (const std::optional<QString> error = copyItem(source, staged)) {
            QDir(staged).removeRecursively();
            QFile::remove(staged);
            failure = QStringLiteral("Could not restore ") + item + QStringLiteral(": ") + *error;
            break;
        }
        if (!exists(destination)) {
            if (!QFile::rename(staged, destination)) {
                failure = QStringLiteral("Could not restore ") + item +
                          QStringLiteral(": it could not be put in place.");
                break;
            }
            swapped = true;
            continue;
        }
        if (const std::optional<QString> error = platform::exchangePaths(staged, destination)) {
            QDir(staged).removeRecursively();
            QFile::remove(staged);
            failure =
                QStringLiteral("Could not stash existing ") + item + QStringLiteral(": ") + *error;
            break;
        }
        swapped = true;
        // What was there is now at the staged name.
        QFile::rename(staged, unusedName(destination + QStringLiteral(".pre-restore-") + stamp));
    }
    if (swapped && m_afterSwap)
        m_afterSwap();
    return failure;
}

QString BackupStore::busyText() {
    return QStringLiteral("Finish or cancel the running jobs before restoring.");
}

QString BackupStore::restoreConfirmationText(const BackupRecord &record) {
    return QStringLiteral("Your current config, state, and Transfers history will be moved aside "
                          "with a `.pre-restore-<timestamp>` suffix, then the ") +
           record.dateText() +
           QStringLiteral(" backup will be copied into place. You can undo by restoring the side "
                          "files manually.");
}

QString BackupStore::restoredText(const BackupRecord &record) {
    return QStringLiteral("Restored from ") + record.dateText() +
           QStringLiteral(". Pre-restore files were saved alongside with "
                          "`.pre-restore-<timestamp>` suffixes. The daemon will pick up the new "
                          "config within 30 seconds.");
}

} // namespace quindle
