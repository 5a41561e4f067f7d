#include "insight/FreeSpaceResult.h"

#include "core/AppPreferences.h"
#include "core/StatePaths.h"

#include <QFile>
#include <QFileInfo>

namespace quindle {

namespace {

const QString acknowledgedKey = QStringLiteral("quindle.freeSpace.acknowledgedAt");

qint64 integerOf(const QString &value) {
    bool ok = false;
    const qint64 number = value.trimmed().toLongLong(&ok);
    return ok ? number : 0;
}

} // namespace

FreeSpaceSummary FreeSpaceSummary::parse(const QString &text) {
    FreeSpaceSummary summary;
    const QHash<QString, qint64 FreeSpaceSummary::*> numbers{
        {QStringLiteral("before_free_gb"), &FreeSpaceSummary::beforeFreeGB},
        {QStringLiteral("after_free_gb"), &FreeSpaceSummary::afterFreeGB},
        {QStringLiteral("delta_gb"), &FreeSpaceSummary::deltaGB},
        {QStringLiteral("files_moved"), &FreeSpaceSummary::filesMoved},
        {QStringLiteral("caches_cleaned"), &FreeSpaceSummary::cachesCleaned},
        {QStringLiteral("apps_gb"), &FreeSpaceSummary::appsGB},
        {QStringLiteral("documents_gb"), &FreeSpaceSummary::documentsGB},
        {QStringLiteral("desktop_gb"), &FreeSpaceSummary::desktopGB},
        {QStringLiteral("apfs_snapshot_count"), &FreeSpaceSummary::apfsSnapshotCount},
    };
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = line.left(equals);
        const QString value = line.mid(equals + 1);
        if (key == QLatin1String("started_at"))
            summary.startedAt = value;
        else if (key == QLatin1String("finished_at"))
            summary.finishedAt = value;
        else if (key == QLatin1String("user_has_cache_rule"))
            summary.userHasCacheRule = value == QLatin1String("1");
        else if (const auto field = numbers.constFind(key); field != numbers.cend())
            summary.*field.value() = integerOf(value);
    }
    return summary;
}

QString FreeSpaceSummary::headline() const {
    if (filesMoved == 0 && cachesCleaned == 0)
        return QStringLiteral("Already optimized — nothing to clean up");
    if (deltaGB >= 1)
        return QStringLiteral("Freed %1 GB — %2 files moved, %3 caches cleaned")
            .arg(deltaGB)
            .arg(filesMoved)
            .arg(cachesCleaned);
    if (deltaGB == 0)
        return QStringLiteral("Cleaned %1 files and %2 caches — no net change in free space")
            .arg(filesMoved)
            .arg(cachesCleaned);
    return QStringLiteral("Cleaned %1 files and %2 caches — apps wrote %3 GB while running")
        .arg(filesMoved)
        .arg(cachesCleaned)
        .arg(-deltaGB);
}

FreeSpaceResult::FreeSpaceResult(QObject *parent)
    : QObject(parent) {}

void FreeSpaceResult::reload() {
    QFile file(paths::lastFreeSpaceFile());
    if (file.open(QIODevice::ReadOnly)) {
        m_latest = FreeSpaceSummary::parse(QString::fromUtf8(file.readAll()));
        m_fileModTime = QFileInfo(file).lastModified().toUTC();
    } else {
        m_latest.reset();
        m_fileModTime.reset();
    }
    Q_EMIT changed();
}

void FreeSpaceResult::acknowledge() {
    if (!m_fileModTime)
        return;
    storePreference(acknowledgedKey, m_fileModTime->toString(Qt::ISODateWithMs));
    Q_EMIT changed();
}

std::optional<QDateTime> FreeSpaceResult::acknowledgedAt() const {
    const QDateTime at =
        QDateTime::fromString(readPreference(acknowledgedKey).toString(), Qt::ISODateWithMs);
    return at.isValid() ? std::optional(at) : std::nullopt;
}

bool FreeSpaceResult::hasUnseen() const {
    if (!m_latest || !m_fileModTime)
        return false;
    const std::optional<QDateTime> seen = acknowledgedAt();
    return !seen || *m_fileModTime > *seen;
}

} // namespace quindle
