#include "transfers/Schedule.h"

#include "support/QtPrinters.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace quindle;

namespace {

const QTimeZone berlin("Europe/Berlin");

QDateTime at(const char *iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

QString next(const Schedule &schedule, const char *after) {
    const std::optional<QDateTime> fire = schedule.nextFireDate(at(after), berlin);
    return fire ? fire->toOffsetFromUtc(fire->offsetFromUtc()).toString(Qt::ISODate)
                : QStringLiteral("none");
}

} // namespace

TEST(ScheduleNextFire, FollowsEachKindsRule) {
    struct Case {
        Schedule schedule;
        const char *after;
        const char *expected;
    };
    const Case cases[] = {
        {Schedule::none(), "2026-05-10T10:00:00+02:00", "none"},
        {Schedule::hourly(6), "2026-05-10T10:17:00+02:00", "2026-05-10T16:17:00+02:00"},
        {Schedule::hourly(0), "2026-05-10T10:17:00+02:00", "2026-05-10T11:17:00+02:00"},
        {Schedule::hourly(-4), "2026-05-10T10:17:00+02:00", "2026-05-10T11:17:00+02:00"},
        // Exactly at the time: tomorrow.
        {Schedule::daily(3, 0), "2026-05-10T03:00:00+02:00", "2026-05-11T03:00:00+02:00"},
        {Schedule::daily(3, 0), "2026-05-10T02:59:59+02:00", "2026-05-10T03:00:00+02:00"},
        {Schedule::daily(23, 45), "2026-12-31T23:50:00+01:00", "2027-01-01T23:45:00+01:00"},
        // 2026-05-10 is a Sunday: weekday 1.
        {Schedule::weekly(1, 3, 0), "2026-05-08T12:00:00+02:00", "2026-05-10T03:00:00+02:00"},
        {Schedule::weekly(1, 3, 0), "2026-05-10T03:00:00+02:00", "2026-05-17T03:00:00+02:00"},
        {Schedule::weekly(7, 9, 30), "2026-05-10T12:00:00+02:00", "2026-05-16T09:30:00+02:00"},
        {Schedule::monthly(15, 3, 0), "2026-05-10T12:00:00+02:00", "2026-05-15T03:00:00+02:00"},
        // Months without the day run on their last day.
        {Schedule::monthly(31, 3, 0), "2026-01-15T12:00:00+01:00", "2026-01-31T03:00:00+01:00"},
        {Schedule::monthly(31, 3, 0), "2026-04-15T12:00:00+02:00", "2026-04-30T03:00:00+02:00"},
        {Schedule::monthly(31, 3, 0), "2026-04-30T03:00:00+02:00", "2026-05-31T03:00:00+02:00"},
        {Schedule::monthly(30, 3, 0), "2028-02-01T12:00:00+01:00", "2028-02-29T03:00:00+01:00"},
        {Schedule::monthly(30, 3, 0), "2027-02-28T03:00:00+01:00", "2027-03-30T03:00:00+02:00"},
        // Values no clock has.
        {Schedule::daily(24, 0), "2026-05-10T12:00:00+02:00", "none"},
        {Schedule::weekly(8, 3, 0), "2026-05-10T12:00:00+02:00", "none"},
        {Schedule::monthly(0, 3, 0), "2026-05-10T12:00:00+02:00", "none"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(next(c.schedule, c.after), QString::fromLatin1(c.expected))
            << c.schedule.summary().toStdString() << " after " << c.after;
}

TEST(ScheduleNextFire, SkippedWallTimesFireAtTheGapsEndAndRepeatedOnesOnce) {
    const Schedule nightly = Schedule::daily(2, 30);
    // Spring: 02:00–03:00 does not exist on 29 March 2026.
    EXPECT_EQ(next(nightly, "2026-03-28T02:30:00+01:00"), "2026-03-29T03:00:00+02:00");
    EXPECT_EQ(next(nightly, "2026-03-29T03:00:00+02:00"), "2026-03-30T02:30:00+02:00");
    // Autumn: 02:00–03:00 happens twice on 25 October 2026; the first time only.
    EXPECT_EQ(next(nightly, "2026-10-24T02:30:00+02:00"), "2026-10-25T02:30:00+02:00");
    EXPECT_EQ(next(nightly, "2026-10-25T02:30:00+02:00"), "2026-10-26T02:30:00+01:00");
    // 29 March 2026 is a Sunday.
    EXPECT_EQ(next(Schedule::weekly(1, 2, 15), "2026-03-28T12:00:00+01:00"),
              "2026-03-29T03:00:00+02:00");
    EXPECT_EQ(next(Schedule::monthly(25, 2, 30), "2026-10-01T00:00:00+02:00"),
              "2026-10-25T02:30:00+02:00");
}

TEST(ScheduleJson, KeepsItsFieldsAndFallsBackOnUnknownKinds) {
    for (const Schedule &s : {Schedule::none(), Schedule::hourly(3), Schedule::daily(4, 5),
                              Schedule::weekly(2, 6, 7), Schedule::monthly(28, 8, 9)})
        EXPECT_EQ(Schedule::fromJson(s.toJson()), s) << s.summary().toStdString();

    const auto decode = [](const char *json) {
        return Schedule::fromJson(QJsonDocument::fromJson(json).object());
    };
    EXPECT_EQ(decode(R"({"kind":"fortnightly","hour":3})"), Schedule::none());
    EXPECT_EQ(decode(R"({"kind":"daily","hour":3})"), std::nullopt);
    EXPECT_EQ(decode(R"({"kind":"weekly","hour":3,"minute":0})"), std::nullopt);
    EXPECT_EQ(decode(R"({"everyN":3})"), std::nullopt);
    EXPECT_EQ(Schedule::weekly(1, 3, 0).summary(), "Weekly on Sunday at 03:00");
}
