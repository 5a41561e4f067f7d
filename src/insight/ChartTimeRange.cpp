#include "insight/ChartTimeRange.h"

namespace quindle {

const QList<ChartTimeRange> &chartTimeRanges() {
    static const QList<ChartTimeRange> all = [] {
        QList<ChartTimeRange> ranges;
        for (const QList<ChartTimeRange> &group : chartTimeRangeGroups())
            ranges += group;
        return ranges;
    }();
    return all;
}

const QList<QList<ChartTimeRange>> &chartTimeRangeGroups() {
    using R = ChartTimeRange;
    static const QList<QList<R>> groups{{R::d1, R::d2, R::d3, R::d5},
                                        {R::w1, R::w2, R::w3},
                                        {R::mo1, R::mo2, R::mo3, R::mo6, R::mo9, R::y1},
                                        {R::wtd, R::mtd, R::ytd},
                                        {R::lifetime}};
    return groups;
}

QString label(ChartTimeRange range) {
    using R = ChartTimeRange;
    switch (range) {
    case R::d1:
        return QStringLiteral("1d");
    case R::d2:
        return QStringLiteral("2d");
    case R::d3:
        return QStringLiteral("3d");
    case R::d5:
        return QStringLiteral("5d");
    case R::w1:
        return QStringLiteral("1w");
    case R::w2:
        return QStringLiteral("2w");
    case R::w3:
        return QStringLiteral("3w");
    case R::mo1:
        return QStringLiteral("1mo");
    case R::mo2:
        return QStringLiteral("2mo");
    case R::mo3:
        return QStringLiteral("3mo");
    case R::mo6:
        return QStringLiteral("6mo");
    case R::mo9:
        return QStringLiteral("9mo");
    case R::y1:
        return QStringLiteral("1y");
    case R::wtd:
        return QStringLiteral("WTD");
    case R::mtd:
        return QStringLiteral("MTD");
    case R::ytd:
        return QStringLiteral("YTD");
    case R::lifetime:
        return QStringLiteral("Lifetime");
    }
    return {};
}

std::optional<ChartTimeRange> chartTimeRangeFromLabel(const QString &text) {
    for (ChartTimeRange range : chartTimeRanges())
        if (label(range) == text)
            return range;
    return std::nullopt;
}

std::optional<QDateTime> startDate(ChartTimeRange range, const QDateTime &now,
                                   Qt::DayOfWeek firstDayOfWeek) {
    using R = ChartTimeRange;
    const QDateTime local = now.toLocalTime();
    const QDate today = local.date();
    switch (range) {
    case R::d1:
        return local.addDays(-1);
    case R::d2:
        return local.addDays(-2);
    case R::d3:
        return local.addDays(-3);
    case R::d5:
        return local.addDays(-5);
    case R::w1:
        return local.addDays(-7);
    case R::w2:
        return local.addDays(-14);
    case R::w3:
        return local.addDays(-21);
    case R::mo1:
        return local.addMonths(-1);
    case R::mo2:
        return local.addMonths(-2);
    case R::mo3:
        return local.addMonths(-3);
    case R::mo6:
        return local.addMonths(-6);
    case R::mo9:
        return local.addMonths(-9);
    case R::y1:
        return local.addYears(-1);
    case R::wtd:
        return today.addDays(-((today.dayOfWeek() - firstDayOfWeek + 7) % 7)).startOfDay();
    case R::mtd:
        return QDate(today.year(), today.month(), 1).startOfDay();
    case R::ytd:
        return QDate(today.year(), 1, 1).startOfDay();
    case R::lifetime:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace quindle
