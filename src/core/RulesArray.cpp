#include "core/RulesArray.h"

#include "core/RuleActions.h"
#include "core/RuleChecks.h"
#include "core/RuleFloor.h"
#include "platform/HomeDirectory.h"

#include <algorithm>

namespace quindle {

QString RuleRow::actionLabel() const {
    return ruleActions::label(record.action);
}

RulesArray::RulesArray(ConfigFile config, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config)) {}

QString RulesArray::unreadableText(const QString &path) {
    return QStringLiteral("Couldn't read config at ") + path;
}

void RulesArray::load() {
    m_rows.clear();
    m_lastError.reset();
    if (const std::optional<QList<RuleRecord>> records = RulesBlock::read(m_config)) {
        for (const RuleRecord &record : *records)
            m_rows << RuleRow{QUuid::createUuid(), record};
    } else {
        m_lastError = unreadableText(m_config.path());
    }
    Q_EMIT changed();
}

std::optional<QString> RulesArray::save() {
    return commit(m_rows);
}

std::optional<QString> RulesArray::commit(const QList<RuleRow> &rows) {
    const RulePlaces places = RulePlaces::current(m_config);
    const QString home = platform::homePath();
    QList<RuleRecord> records;
    std::optional<QString> error;
    for (const RuleRow &row : rows) {
        records << row.record;
        if (!error)
            error = RulesBlock::unwritable(row.record, records.size(), home);
        if (!error)
            error = ruleRefusal(row.record, records.size(), places);
    }
    if (!error)
        error = RulesBlock::write(m_config, records);
    m_lastError = error;
    if (!error)
        m_rows = rows;
    Q_EMIT changed();
    return error;
}

qsizetype RulesArray::indexOf(const QUuid &id) const {
    const auto found = std::find_if(m_rows.cbegin(), m_rows.cend(),
                                    [&id](const RuleRow &row) { return row.id == id; });
    return found == m_rows.cend() ? -1 : found - m_rows.cbegin();
}

std::optional<QString> RulesArray::add(const RuleRecord &record) {
    return commit(m_rows + QList<RuleRow>{{QUuid::createUuid(), record}});
}

std::optional<QString> RulesArray::replace(const QUuid &id, const RuleRecord &record) {
    const qsizetype index = indexOf(id);
    if (index < 0)
        return std::nullopt; // a row of an earlier load: nothing of it is on screen any more
    QList<RuleRow> rows = m_rows;
    rows[index].record = record;
    return commit(rows);
}

std::optional<QString> RulesArray::remove(const QUuid &id) {
    const qsizetype index = indexOf(id);
    if (index < 0)
        return std::nullopt;
    QList<RuleRow> rows = m_rows;
    rows.removeAt(index);
    return commit(rows);
}

std::optional<QString> RulesArray::updateAge(const QUuid &id, qint64 days) {
    const qsizetype index = indexOf(id);
    if (index < 0)
        return std::nullopt;
    RuleRecord record = m_rows.at(index).record;
    record.ageDays = std::max<qint64>(days, 0);
    return replace(id, record);
}

std::optional<QString> RulesArray::raiseAllBelowFloor(int floor) {
    QList<RuleRow> rows = m_rows;
    for (RuleRow &row : rows) {
        if (ruleFloor::isBelow(row.record, floor))
            row.record.ageDays = floor;
    }
    return commit(rows);
}

int RulesArray::countBelowFloor(int floor) const {
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(), [floor](const RuleRow &row) {
        return ruleFloor::isBelow(row.record, floor);
    }));
}

} // namespace quindle
