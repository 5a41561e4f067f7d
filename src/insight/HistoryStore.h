#pragma once

#include "insight/ChartTimeRange.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <optional>

namespace quindle {

// One line of history.ndjson: the day's free space, what moving has saved, and the largest
// folders.
struct HistorySnapshot {
    QDateTime ts; // UTC
    qint64 internalFreeGB = 0;
    qint64 internalTotalGB = 0;
    qint64 nvmeFreeGB = 0;
    qint64 nvmeTotalGB = 0; // 0: the drive was away, a gap in its line
    qint64 cumulativeSavedBytes = 0;
    QMap<QString, qint64> dirsMB;

    bool operator==(const HistorySnapshot &) const = default;

    // Nothing for a line that is no object, or whose `ts` is no internet date-time with its
    // offset ("2026-12-06T03:00:00Z"; a space for the T, or no offset, is refused).
    static std::optional<HistorySnapshot> parse(const QByteArray &line);
    // The same keys back, `ts` in UTC.
    QByteArray toJson() const;
};

// A folder of the directories chart, as it is labelled there.
struct TopDirectory {
    QString path;
    qint64 mb = 0;
    QString size; // "512 MB", "12.5 GB"
};

// The service's daily snapshots as the charts read them. Lives on the main thread.
class HistoryStore : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype topDirectoryCount = 10;

    explicit HistoryStore(QString file, QObject *parent = nullptr);
    explicit HistoryStore(QObject *parent = nullptr);

    // Rereads the file: a bad line is skipped alone, a missing file leaves no snapshots.
    void refresh();

    const QList<HistorySnapshot> &snapshots() const { return m_snapshots; } // oldest first
    const std::optional<QDateTime> &lastRefresh() const { return m_lastRefresh; }
    const std::optional<QString> &loadError() const { return m_loadError; }
    std::optional<HistorySnapshot> latest() const;

    // The snapshots at or after the range's start, and within a zoom when one is set.
    static QList<HistorySnapshot> visible(const QList<HistorySnapshot> &snapshots,
                                          ChartTimeRange range, const QDateTime &now,
                                          Qt::DayOfWeek firstDayOfWeek,
                                          const std::optional<QDateTime> &zoomStart = {},
                                          const std::optional<QDateTime> &zoomEnd = {});
    // The latest snapshot's largest folders, largest first.
    static QList<TopDirectory> topDirectories(const HistorySnapshot &snapshot);
    // Charts need two snapshots; with fewer, this says why there are none.
    static QString notEnoughSnapshotsText();

Q_SIGNALS:
    void changed();

private:
    QString m_file;
    QList<HistorySnapshot> m_snapshots;
    std::optional<QDateTime> m_lastRefresh;
    std::optional<QString> m_loadError;
};

} // namespace quindle
