#include "tier/PairHistory.h"

#include "core/AtomicFile.h"
#include "core/JsonFields.h"
#include "core/JsonFormat.h"
#include "core/PathText.h"
#include "core/StatePaths.h"
#include "platform/HomeDirectory.h"
#include "tier/TierTypes.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace quindle {

namespace {

bool ordered(const PairRecord &a, const PairRecord &b) {
    if (a.isPinned != b.isPinned)
        return a.isPinned;
    if (a.isPinned)
        return a.id() < b.id();
    return a.lastUsedAt > b.lastUsedAt;
}

bool samePaths(const PairRecord &a, const QString &left, const QString &right) {
    return a.leftPath == left && a.rightPath == right;
}

} // namespace

QString PairRecord::id() const {
    return leftPath + QLatin1Char('|') + rightPath;
}

QString PairRecord::label() const {
    const QString left = lastPathComponent(leftPath);
    const QString right = lastPathComponent(rightPath);
    return left == right ? left : left + QStringLiteral(" ↔ ") + right;
}

QString PairRecord::subtitle() const {
    const QString home = platform::homePath();
    return tildePath(leftPath, home) + QStringLiteral("  ↔  ") + tildePath(rightPath, home);
}

QJsonObject PairRecord::toJson() const {
    return {{QStringLiteral("leftPath"), leftPath},
            {QStringLiteral("rightPath"), rightPath},
            {QStringLiteral("lastUsedAt"), isoDate(lastUsedAt)},
            {QStringLiteral("isPinned"), isPinned}};
}

std::optional<PairRecord> PairRecord::fromJson(const QJsonObject &object) {
    JsonFields fields(object);
    PairRecord record;
    record.leftPath = fields.requiredString(QStringLiteral("leftPath"));
    record.rightPath = fields.requiredString(QStringLiteral("rightPath"));
    record.lastUsedAt = fields.requiredDate(QStringLiteral("lastUsedAt"));
    record.isPinned = fields.boolOr(QStringLiteral("isPinned"), false);
    if (!fields.ok())
        return std::nullopt;
    return record;
}

PairHistory::PairHistory(QObject *parent)
    : QObject(parent)
    , m_clock(nowUtc) {
    load();
}

std::optional<PairRecord> PairHistory::find(const QString &left, const QString &right) const {
    for (const PairRecord &record : m_records)
        if (samePaths(record, left, right))
            return record;
    return std::nullopt;
}

void PairHistory::record(const QString &left, const QString &right) {
    if (left.isEmpty() || right.isEmpty())
        return;
    const bool pinned = find(left, right).value_or(PairRecord{}).isPinned;
    m_records.removeIf([&](const PairRecord &r) { return samePaths(r, left, right); });
    m_records.prepend(PairRecord{left, right, m_clock(), pinned});
    arrange();
    save();
}

void PairHistory::setPinned(const PairRecord &record, bool pinned) {
    for (PairRecord &r : m_records)
        if (samePaths(r, record.leftPath, record.rightPath))
            r.isPinned = pinned;
    arrange();
    save();
}

void PairHistory::clear() {
    m_records.removeIf([](const PairRecord &r) { return !r.isPinned; });
    save();
}

void PairHistory::forget(const PairRecord &record) {
    m_records.removeIf(
        [&](const PairRecord &r) { return samePaths(r, record.leftPath, record.rightPath); });
    save();
}

QString PairHistory::clearHelp() {
    return QStringLiteral("Remove the unpinned (LRU) recent pairings. Pinned pairings — the ones "
                          "with the orange wash — are kept; use their per-row × to forget those.");
}

QString PairHistory::unpinHelp() {
    return QStringLiteral("Unpin — this pair will follow the normal recency cap (oldest unpinned "
                          "drops off after 20 new pairs).");
}

void PairHistory::load() {
    m_records.clear();
    const std::optional<QByteArray> data = readWholeFile(paths::recentPairsFile());
    if (!data)
        return;
    const QJsonDocument document = QJsonDocument::fromJson(*data);
    for (const QJsonValue &value : document.array())
        if (std::optional<PairRecord> record = PairRecord::fromJson(value.toObject()))
            m_records << *record;
    arrange();
}

void PairHistory::arrange() {
    // Stable, so of two records used in the same second the one recorded later stays first.
    std::stable_sort(m_records.begin(), m_records.end(), ordered);
    int unpinned = 0;
    m_records.removeIf([&](const PairRecord &r) { return !r.isPinned && ++unpinned > maxRecords; });
}

void PairHistory::save() {
    QJsonArray array;
    for (const PairRecord &record : std::as_const(m_records))
        array.append(record.toJson());
    const QString file = paths::recentPairsFile();
    QDir().mkpath(QFileInfo(file).path());
    if (std::optional<QString> error =
            writeFileAtomically(file, QJsonDocument(array).toJson(QJsonDocument::Indented))) {
        m_lastError = *error;
        qWarning().noquote() << QStringLiteral("Quindle: failed to save recent pairs: ") + *error;
    } else {
        m_lastError.clear();
    }
    Q_EMIT recordsChanged();
}

} // namespace quindle
