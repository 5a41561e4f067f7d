#include "apps/AppEntry.h"

#include "core/JsonFormat.h"

#include <QList>

#include <algorithm>

namespace quindle {

std::optional<qint64> AppEntry::daysSinceLastUse(const QDateTime &now) const {
    if (!lastUsedAt)
        return std::nullopt;
    // A clock set back reads as used today, never as used in the future.
    return std::max<qint64>(0, lastUsedAt->toLocalTime().date().daysTo(now.toLocalTime().date()));
}

QString AppEntry::lastUsedLabel(const QDateTime &now) const {
    if (!lastUsedAt)
        return QStringLiteral("Never used");
    const qint64 days = daysSinceLastUse(now).value_or(0);
    if (days < 1)
        return QStringLiteral("Today");
    if (days == 1)
        return QStringLiteral("Yesterday");
    if (days < 30)
        return QStringLiteral("%1 days ago").arg(days);
    if (days > 364)
        return QStringLiteral("%1 years ago").arg(days / 365);
    return QStringLiteral("%1 months ago").arg(days / 30);
}

QJsonObject listJson(const AppEntry &entry, const QDateTime &now, const QString &verdict,
                     const QString &message) {
    return QJsonObject{
        {QStringLiteral("id"), entry.id},
        {QStringLiteral("path"), entry.path},
        {QStringLiteral("displayName"), entry.displayName},
        {QStringLiteral("bundleID"),
         entry.bundleID ? QJsonValue(*entry.bundleID) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("sizeBytes"), entry.sizeBytes},
        {QStringLiteral("lastUsedAt"),
         entry.lastUsedAt ? QJsonValue(isoDate(*entry.lastUsedAt)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("lastUsedLabel"), entry.lastUsedLabel(now)},
        {QStringLiteral("isRunning"), entry.isRunning},
        {QStringLiteral("isMovedSymlink"), entry.isMovedSymlink},
        {QStringLiteral("verdict"), verdict},
        {QStringLiteral("message"), message},
    };
}

void sortForListing(QList<AppEntry> &entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const AppEntry &a, const AppEntry &b) {
        if (a.lastUsedAt.has_value() != b.lastUsedAt.has_value())
            return !a.lastUsedAt.has_value();
        if (!a.lastUsedAt)
            return a.displayName.localeAwareCompare(b.displayName) < 0;
        return *a.lastUsedAt < *b.lastUsedAt;
    });
}

} // namespace quindle
