#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QTimeZone>

#include <optional>

namespace quindle {

// When a transfer runs by itself. Weekdays count from 1 = Sunday to 7 = Saturday.
struct Schedule {
    enum class Kind { None, Hourly, Daily, Weekly, Monthly };

    Kind kind = Kind::None;
    int everyN = 6;
    int hour = 3;
    int minute = 0;
    int weekday = 1;
    int day = 1;

    static Schedule none() { return {}; }
    static Schedule hourly(int everyN);
    static Schedule daily(int hour, int minute);
    static Schedule weekly(int weekday, int hour, int minute);
    static Schedule monthly(int day, int hour, int minute);

    bool isNone() const { return kind == Kind::None; }

    // The first fire time strictly after `after`, in `zone`'s wall clock. A wall time that a
    // daylight-saving change skips fires when the gap ends; one it repeats fires once, at its
    // first occurrence. A monthly day that a month lacks fires on that month's last day.
    std::optional<QDateTime> nextFireDate(const QDateTime &after, const QTimeZone &zone) const;

    // "Every 6 hours", "Daily at 03:00", "Weekly on Sunday at 03:00", "Monthly on day 1 at 03:00"
    // or "Manual only".
    QString summary() const;

    QJsonObject toJson() const;
    // An unknown kind is none; a known kind with a missing field is nothing.
    static std::optional<Schedule> fromJson(const QJsonObject &object);

    bool operator==(const Schedule &) const = default;
};

// The help text that goes with the monthly choice.
QString monthlyLastDayHelp();

// The wall time `date` `time` in `zone` as one instant: the first of two when the clock repeats
// it, the end of the gap when the clock skips it.
QDateTime wallClockInstant(QDate date, QTime time, const QTimeZone &zone);

} // namespace quindle
