#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

namespace quindle {

// What the last Free Up Space run wrote to last-free-space.txt.
struct FreeSpaceSummary {
    QString startedAt;
    QString finishedAt;
    qint64 beforeFreeGB = 0;
    qint64 afterFreeGB = 0;
    qint64 deltaGB = 0;
    qint64 filesMoved = 0;
    qint64 cachesCleaned = 0;
    qint64 appsGB = 0;
    qint64 documentsGB = 0;
    qint64 desktopGB = 0;
    qint64 apfsSnapshotCount = 0;
    bool userHasCacheRule = false;

    // key=value lines, split at the first '='; unknown keys and unreadable numbers count as
    // nothing.
    static FreeSpaceSummary parse(const QString &text);
    QString headline() const;
};

// The last run's summary and whether the person has seen it: the popover's result banner.
class FreeSpaceResult : public QObject {
    Q_OBJECT
public:
    explicit FreeSpaceResult(QObject *parent = nullptr);

    // Rereads the summary file; a missing one means no banner.
    void reload();
    // The banner is seen until the file changes again; this holds across restarts.
    void acknowledge();

    const std::optional<FreeSpaceSummary> &latest() const { return m_latest; }
    const std::optional<QDateTime> &fileModTime() const { return m_fileModTime; }
    std::optional<QDateTime> acknowledgedAt() const;
    bool hasUnseen() const;

Q_SIGNALS:
    void changed();

private:
    std::optional<FreeSpaceSummary> m_latest;
    std::optional<QDateTime> m_fileModTime;
};

} // namespace quindle
