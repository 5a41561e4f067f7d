#pragma once

#include "core/ConfigFile.h"
#include "core/RulesBlock.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <optional>

namespace quindle {

// One rule as the Rules pane holds it; the id lives only as long as the load it came from.
struct RuleRow {
    QUuid id;
    RuleRecord record;

    QString actionLabel() const;
    bool operator==(const RuleRow &) const = default;
};

// The configuration's RULES array. Every edit is checked and written at once; one the service
// would not act on, or that the file cannot take, is refused with a sentence and leaves both the
// rows and the file as they were.
class RulesArray : public QObject {
    Q_OBJECT
public:
    explicit RulesArray(ConfigFile config = ConfigFile(), QObject *parent = nullptr);

    const QList<RuleRow> &rows() const { return m_rows; }
    const std::optional<QString> &lastError() const { return m_lastError; }
    QString configPath() const { return m_config.path(); }

    // Reads the rules in file order with fresh ids. An unreadable file gives no rows and
    // "Couldn't read config at <path>".
    void load();
    // Writes the rows as they are; the reason when nothing was written.
    std::optional<QString> save();

    // The edits; each returns the refusal, also kept as lastError().
    std::optional<QString> add(const RuleRecord &record);
    std::optional<QString> replace(const QUuid &id, const RuleRecord &record);
    std::optional<QString> remove(const QUuid &id);
    // The age becomes `days`, at least 0.
    std::optional<QString> updateAge(const QUuid &id, qint64 days);
    // Every rule whose age is below `floor` is raised to it, in one write.
    std::optional<QString> raiseAllBelowFloor(int floor);

    // The rows whose stored age is below `floor`.
    int countBelowFloor(int floor) const;

    static QString unreadableText(const QString &path); // "Couldn't read config at <path>"

Q_SIGNALS:
    void changed();

private:
    // Checks and writes `rows`; they become the model's rows only once written.
    std::optional<QString> commit(const QList<RuleRow> &rows);
    qsizetype indexOf(const QUuid &id) const;

    ConfigFile m_config;
    QList<RuleRow> m_rows;
    std::optional<QString> m_lastError;
};

} // namespace quindle
