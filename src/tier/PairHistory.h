#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quindle {

// One remembered pairing of a left and a right folder.
struct PairRecord {
    QString leftPath;
    QString rightPath;
    QDateTime lastUsedAt;
    bool isPinned = false;

    // The pair id: leftPath + "|" + rightPath.
    QString id() const;
    // The shared folder name, or both names joined by " ↔ " when they differ.
    QString label() const;
    // Both paths with the home folder shown as "~".
    QString subtitle() const;

    QJsonObject toJson() const;
    static std::optional<PairRecord> fromJson(const QJsonObject &object);
    bool operator==(const PairRecord &) const = default;
};

// The recently used pairs, pinned ones first, kept in ~/.quindle/state/recent-pairs.json.
class PairHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int maxRecords = 20; // unpinned ones; pinned records are never dropped

    explicit PairHistory(QObject *parent = nullptr); // reads the file once

    const QList<PairRecord> &records() const { return m_records; }
    std::optional<PairRecord> find(const QString &left, const QString &right) const;
    // The sentence of the last failed save; empty after a good one.
    const QString &lastError() const { return m_lastError; }

    // Remembers the pair as used now, keeping its pin. Empty paths are ignored.
    void record(const QString &left, const QString &right);
    void setPinned(const PairRecord &record, bool pinned);
    // Forgets every unpinned record.
    void clear();
    // Forgets one record, pinned or not.
    void forget(const PairRecord &record);

    static QString clearHelp();
    static QString unpinHelp();

    // For tests: the time record() stamps.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

Q_SIGNALS:
    void recordsChanged();

private:
    void load();
    void arrange(); // cap, then order
    void save();

    QList<PairRecord> m_records;
    QString m_lastError;
    std::function<QDateTime()> m_clock;
};

} // namespace quindle
