#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace quindle {

// The windows the charts offer, from a day back to every snapshot there is.
enum class ChartTimeRange {
    d1,
    d2,
    d3,
    d5,
    w1,
    w2,
    w3,
    mo1,
    mo2,
    mo3,
    mo6,
    mo9,
    y1,
    wtd,
    mtd,
    ytd,
    lifetime
};

// In the picker's order, and in its five groups.
const QList<ChartTimeRange> &chartTimeRanges();
const QList<QList<ChartTimeRange>> &chartTimeRangeGroups();

QString label(ChartTimeRange range); // "1d" … "WTD" … "Lifetime"
std::optional<ChartTimeRange> chartTimeRangeFromLabel(const QString &label);

// Where the window starts for `now` (local time): calendar steps back, so a day over the change
// to summer time is 23 hours and a month back from 31 March ends on the last of February; the
// week, month and year to date start at the first moment of their first day, which is not
// midnight where midnight was skipped. Nothing for Lifetime.
std::optional<QDateTime> startDate(ChartTimeRange range, const QDateTime &now,
                                   Qt::DayOfWeek firstDayOfWeek);

} // namespace quindle
