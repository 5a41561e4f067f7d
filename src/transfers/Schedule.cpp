#include "transfers/Schedule.h"

#include "core/JsonFields.h"

#include <QLocale>

#include <algorithm>
#include <array>

namespace quindle {

namespace {

constexpr qint64 secondsPerDay = 86400;

struct KindName {
    Schedule::Kind kind;
    const char *raw;
};
constexpr std::array<KindName, 5> kindNames{{{Schedule::Kind::None, "none"},
                                             {Schedule::Kind::Hourly, "hourly"},
                                             {Schedule::Kind::Daily, "daily"},
                                             {Schedule::Kind::Weekly, "weekly"},
                                             {Schedule::Kind::Monthly, "monthly"}}};

QString rawKind(Schedule::Kind kind) {
    for (const KindName &name : kindNames)
        if (name.kind == kind)
            return QLatin1String(name.raw);
    return QStringLiteral("none");
}

// 1 = Sunday … 7 = Saturday, as Qt counts (1 = Monday … 7 = Sunday).
int qtDayOfWeek(int weekday) {
    return weekday == 1 ? 7 : weekday - 1;
}

qint64 offsetAt(const QTimeZone &zone, qint64 utcSeconds) {
    return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::UTC));
}

QString clockText(int hour, int minute) {
    return QTime(hour, minute).toString(QStringLiteral("HH:mm"));
}

} // namespace

// Qt 6.4 answers a skipped wall time with an invalid date and a repeated one with its second
// occurrence, so the instant is found from the zone's offsets instead.
QDateTime wallClockInstant(QDate date, QTime time, const QTimeZone &zone) {
    if (!date.isValid() || !time.isValid())
        return {};
    const qint64 naive = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    // Zones change their offset at most once within a day either side.
    const qint64 before = offsetAt(zone, naive - secondsPerDay);
    const qint64 after = offsetAt(zone, naive + secondsPerDay);
    std::optional<qint64> earliest;
    for (const qint64 offset : {before, after}) {
        const qint64 candidate = naive - offset;
        if (offsetAt(zone, candidate) == offset)
            earliest = std::min(earliest.value_or(candidate), candidate);
    }
    if (earliest)
        return QDateTime::fromSecsSinceEpoch(*earliest, zone);
    // A gap: the wall time falls between the two offsets' readings; the clock resumes at the
    // first instant that carries the later offset.
    qint64 low = naive - after;
    qint64 high = naive - before;
    while (high - low > 1) {
        const qint64 middle = low + (high - low) / 2;
        (offsetAt(zone, middle) == after ? high : low) = middle;
    }
    return QDateTime::fromSecsSinceEpoch(high, zone);
}

Schedule Schedule::hourly(int everyN) {
    Schedule s;
    s.kind = Kind::Hourly;
    s.everyN = everyN;
    return s;
}

Schedule Schedule::daily(int hour, int minute) {
    Schedule s;
    s.kind = Kind::Daily;
    s.hour = hour;
    s.minute = minute;
    return s;
}

Schedule Schedule::weekly(int weekday, int hour, int minute) {
    Schedule s = daily(hour, minute);
    s.kind = Kind::Weekly;
    s.weekday = weekday;
    return s;
}

Schedule Schedule::monthly(int day, int hour, int minute) {
    Schedule s = daily(hour, minute);
    s.kind = Kind::Monthly;
    s.day = day;
    return s;
}

std::optional<QDateTime> Schedule::nextFireDate(const QDateTime &after,
                                                const QTimeZone &zone) const {
    if (kind == Kind::None || !after.isValid())
        return std::nullopt;
    if (kind == Kind::Hourly)
        return after.addSecs(std::max(everyN, 1) * qint64(3600));

    const QTime time(hour, minute);
    if (!time.isValid())
        return std::nullopt;
    const QDate start = after.toTimeZone(zone).date();
    const auto firstAfter = [&](QDate date) -> std::optional<QDateTime> {
        const QDateTime instant = wallClockInstant(date, time, zone);
        if (instant.isValid() && instant > after)
            return instant;
        return std::nullopt;
    };

    switch (kind) {
    case Kind::Daily:
        for (int days = 0; days <= 2; ++days)
            if (const auto fire = firstAfter(start.addDays(days)))
                return fire;
        return std::nullopt;
    case Kind::Weekly:
        if (weekday < 1 || weekday > 7)
            return std::nullopt;
        for (int days = 0; days <= 8; ++days) {
            const QDate date = start.addDays(days);
            if (date.dayOfWeek() == qtDayOfWeek(weekday))
                if (const auto fire = firstAfter(date))
                    return fire;
        }
        return std::nullopt;
    case Kind::Monthly:
        if (day < 1 || day > 31)
            return std::nullopt;
        for (int months = 0; months <= 2; ++months) {
            const QDate month = QDate(start.year(), start.month(), 1).addMonths(months);
            const QDate date(month.year(), month.month(), std::min(day, month.daysInMonth()));
            if (const auto fire = firstAfter(date))
                return fire;
        }
        return std::nullopt;
    case Kind::None:
    case Kind::Hourly:
        break;
    }
    return std::nullopt;
}

QString Schedule::summary() const {
    switch (kind) {
    case Kind::None:
        return QStringLiteral("Manual only");
    case Kind::Hourly:
        return std::max(everyN, 1) == 1 ? QStringLiteral("Every hour")
                                        : QStringLiteral("Every %1 hours").arg(std::max(everyN, 1));
    case Kind::Daily:
        return QStringLiteral("Daily at %1").arg(clockText(hour, minute));
    case Kind::Weekly:
        return QStringLiteral("Weekly on %1 at %2")
            .arg(QLocale::c().dayName(qtDayOfWeek(std::clamp(weekday, 1, 7))),
                 clockText(hour, minute));
    case Kind::Monthly:
        return QStringLiteral("Monthly on day %1 at %2").arg(day).arg(clockText(hour, minute));
    }
    return {};
}

QJsonObject Schedule::toJson() const {
    QJsonObject object{{QStringLiteral("kind"), rawKind(kind)}};
    switch (kind) {
    case Kind::None:
        break;
    case Kind::Hourly:
        object.insert(QStringLiteral("everyN"), everyN);
        break;
    case Kind::Weekly:
        object.insert(QStringLiteral("weekday"), weekday);
        [[fallthrough]];
    case Kind::Daily:
        object.insert(QStringLiteral("hour"), hour);
        object.insert(QStringLiteral("minute"), minute);
        break;
    case Kind::Monthly:
        object.insert(QStringLiteral("day"), day);
        object.insert(QStringLiteral("hour"), hour);
        object.insert(QStringLiteral("minute"), minute);
        break;
    }
    return object;
}

std::optional<Schedule> Schedule::fromJson(const QJsonObject &object) {
    JsonFields fields(object);
    const QString raw = fields.requiredString(QStringLiteral("kind"));
    if (!fields.ok())
        return std::nullopt;
    Schedule s;
    for (const KindName &name : kindNames)
        if (raw == QLatin1String(name.raw))
            s.kind = name.kind;
    const auto integer = [&](const char *key) {
        return static_cast<int>(fields.requiredInteger(QLatin1String(key)));
    };
    switch (s.kind) {
    case Kind::None:
        break;
    case Kind::Hourly:
        s.everyN = integer("everyN");
        break;
    case Kind::Weekly:
        s.weekday = integer("weekday");
        [[fallthrough]];
    case Kind::Daily:
        s.hour = integer("hour");
        s.minute = integer("minute");
        break;
    case Kind::Monthly:
        s.day = integer("day");
        s.hour = integer("hour");
        s.minute = integer("minute");
        break;
    }
    if (!fields.ok())
        return std::nullopt;
    return s;
}

QString monthlyLastDayHelp() {
    return QStringLiteral("Months without this day run on their last day.");
}

} // namespace quindle
