#include "insight/HistoryStore.h"

#include "core/StatePaths.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace quindle {

namespace {

// Qt's own ISO reader also takes a space for the T and a time without offset; neither is what
// the service writes, and without an offset the moment is unknown.
std::optional<QDateTime> internetDateTime(const QJsonValue &value) {
    static const QRegularExpression shape(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?(Z|[+-]\d\d:\d\d)$)"));
    const QString text = value.toString();
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    return parsed.isValid() ? std::optional(parsed.toUTC()) : std::nullopt;
}

// Beyond 2^53 only an integer written as one keeps its value; anything else counts as 0.
qint64 integer(const QJsonObject &object, const char *key) {
    return object.value(QLatin1String(key)).toInteger();
}

} // namespace

std::optional<HistorySnapshot> HistorySnapshot::parse(const QByteArray &line) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const std::optional<QDateTime> ts = internetDateTime(object.value(QLatin1String("ts")));
    if (!ts)
        return std::nullopt;
    HistorySnapshot snapshot;
    snapshot.ts = *ts;
    snapshot.internalFreeGB = integer(object, "internal_free_gb");
    snapshot.internalTotalGB = integer(object, "internal_total_gb");
    snapshot.nvmeFreeGB = integer(object, "nvme_free_gb");
    snapshot.nvmeTotalGB = integer(object, "nvme_total_gb");
    snapshot.cumulativeSavedBytes = integer(object, "cumulative_saved_bytes");
    const QJsonObject dirs = object.value(QLatin1String("dirs_mb")).toObject();
    for (auto dir = dirs.constBegin(); dir != dirs.constEnd(); ++dir)
        snapshot.dirsMB.insert(dir.key(), dir.value().toInteger());
    return snapshot;
}

QByteArray HistorySnapshot::toJson() const {
    QJsonObject dirs;
    for (auto dir = dirsMB.cbegin(); dir != dirsMB.cend(); ++dir)
        dirs.insert(dir.key(), dir.value());
    const QJsonObject object{
        {"ts", ts.toUTC().toString(Qt::ISODate)},
        {"internal_free_gb", internalFreeGB},
        {"internal_total_gb", internalTotalGB},
        {"nvme_free_gb", nvmeFreeGB},
        {"nvme_total_gb", nvmeTotalGB},
        {"cumulative_saved_bytes", cumulativeSavedBytes},
        {"dirs_mb", dirs},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

HistoryStore::HistoryStore(QString file, QObject *parent)
    : QObject(parent)
    , m_file(std::move(file)) {}

HistoryStore::HistoryStore(QObject *parent)
    : HistoryStore(paths::historyFile(), parent) {}

void HistoryStore::refresh() {
    m_snapshots.clear();
    m_loadError.reset();
    QFile file(m_file);
    if (!file.exists()) {
        m_loadError = QStringLiteral("There is no history yet: %1 does not exist.").arg(m_file);
    } else if (!file.open(QIODevice::ReadOnly)) {
        m_loadError = QStringLiteral("Could not read %1: %2").arg(m_file, file.errorString());
    } else {
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                if (std::optional<HistorySnapshot> snapshot = HistorySnapshot::parse(line))
                    m_snapshots.append(std::move(*snapshot));
        std::stable_sort(m_snapshots.begin(), m_snapshots.end(),
                         [](const auto &a, const auto &b) { return a.ts < b.ts; });
    }
    m_lastRefresh = QDateTime::currentDateTimeUtc();
    Q_EMIT changed();
}

std::optional<HistorySnapshot> HistoryStore::latest() const {
    return m_snapshots.isEmpty() ? std::nullopt : std::optional(m_snapshots.last());
}

QList<HistorySnapshot> HistoryStore::visible(const QList<HistorySnapshot> &snapshots,
                                             ChartTimeRange range, const QDateTime &now,
                                             Qt::DayOfWeek firstDayOfWeek,
                                             const std::optional<QDateTime> &zoomStart,
                                             const std::optional<QDateTime> &zoomEnd) {
    const std::optional<QDateTime> start = startDate(range, now, firstDayOfWeek);
    QList<HistorySnapshot> shown;
    for (const HistorySnapshot &snapshot : snapshots) {
        if ((start && snapshot.ts < *start) || (zoomStart && snapshot.ts < *zoomStart) ||
            (zoomEnd && snapshot.ts > *zoomEnd))
            continue;
        shown.append(snapshot);
    }
    return shown;
}

QList<TopDirectory> HistoryStore::topDirectories(const HistorySnapshot &snapshot) {
    QList<TopDirectory> top;
    for (auto dir = snapshot.dirsMB.cbegin(); dir != snapshot.dirsMB.cend(); ++dir) {
        const qint64 mb = dir.value();
        const QString size = mb >= 1024 ? QString::asprintf("%.1f GB", double(mb) / 1024.0)
                                        : QStringLiteral("%1 MB").arg(mb);
        top.append({dir.key(), mb, size});
    }
    std::stable_sort(top.begin(), top.end(),
                     [](const TopDirectory &a, const TopDirectory &b) { return a.mb > b.mb; });
    return top.mid(0, topDirectoryCount);
}

QString HistoryStore::notEnoughSnapshotsText() {
    return QStringLiteral("Quindle writes one snapshot per day. Charts unlock after the second "
                          "snapshot — check back tomorrow. Snapshots are stored at "
                          "~/.quindle/state/history.ndjson.");
}

} // namespace quindle
