// The daily snapshots as the charts read them, and the windows they are drawn over, in real time
// zones.
#include "insight/HistoryStore.h"
#include "support/TempHome.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <ctime>

using namespace quindle;

namespace {

// Local time as a person in `zone` has it, for the length of a test.
class LocalZone {
public:
    explicit LocalZone(const char *zone)
        : m_old(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone() {
        qputenv("TZ", m_old);
        tzset();
    }

private:
    QByteArray m_old;
};

QDateTime local(const char *text) {
    return QDateTime::fromString(QLatin1String(text), Qt::ISODate);
}

QString shown(const std::optional<QDateTime> &start) {
    return start ? start->toString("yyyy-MM-dd HH:mm") : QStringLiteral("none");
}

} // namespace

class HistoryTest : public test::TempHomeTest {};

TEST_F(HistoryTest, BadLinesAreSkippedAloneAndTheRestComesInTimeOrder) {
    test::writeText(inHome("history.ndjson"),
                    R"({"ts":"2026-12-03T03:00:00Z","internal_free_gb":80,"nvme_total_gb":1000,)"
                    R"("cumulative_saved_bytes":9007199254740993,"dirs_mb":{"~/Videos":2048}})"
                    "\n"
                    R"({"ts":"2026-12-01T03:00:00+01:00","internal_free_gb":90})"
                    "\n\n"
                    R"({"ts":"2026-12-02 03:00:00Z","internal_free_gb":1})"
                    "\n"
                    R"({"ts":"2026-12-02T03:00:00","internal_free_gb":2})"
                    "\n"
                    R"({"ts":"2026-02-30T03:00:00Z","internal_free_gb":3})"
                    "\n"
                    R"([{"ts":"2026-12-02T03:00:00Z"}])"
                    "\n"
                    R"({"ts":"2026-12-02T03:00:00Z","cumulative_saved_bytes":1.5e19})"
                    "\n"
                    R"({"ts":"2026-12-04T03:00:00Z","internal_free_gb":7)");
    HistoryStore store(inHome("history.ndjson"));
    store.refresh();
    ASSERT_FALSE(store.loadError());
    ASSERT_EQ(store.snapshots().size(), 3);
    EXPECT_EQ(store.snapshots().at(0).ts, local("2026-12-01T02:00:00Z"));
    EXPECT_EQ(store.snapshots().at(0).internalFreeGB, 90);
    EXPECT_TRUE(store.snapshots().at(0).dirsMB.isEmpty());
    EXPECT_EQ(store.snapshots().at(1).cumulativeSavedBytes, 0) << "not an integer it can hold";
    const HistorySnapshot latest = *store.latest();
    EXPECT_EQ(latest.cumulativeSavedBytes, 9007199254740993) << "exact above 2^53";
    EXPECT_EQ(latest.nvmeFreeGB, 0) << "missing numbers count as 0";
    EXPECT_EQ(HistorySnapshot::parse(latest.toJson()), latest);

    HistoryStore missing(inHome("none.ndjson"));
    missing.refresh();
    EXPECT_TRUE(missing.loadError());
    EXPECT_TRUE(missing.snapshots().isEmpty());
}

TEST(ChartTimeRanges, StepBackByTheCalendarInTheLocalZone) {
    const LocalZone berlin("Europe/Berlin");
    const QDateTime afterSpringChange = local("2026-03-29T12:00:00");
    const auto dayBack = startDate(ChartTimeRange::d1, afterSpringChange, Qt::Monday);
    EXPECT_EQ(dayBack->secsTo(afterSpringChange), 23 * 3600);
    EXPECT_EQ(shown(startDate(ChartTimeRange::mo1, local("2026-03-31T10:00:00"), Qt::Monday)),
              "2026-02-28 10:00");
    EXPECT_EQ(shown(startDate(ChartTimeRange::y1, local("2028-02-29T10:00:00"), Qt::Monday)),
              "2027-02-28 10:00");
    EXPECT_EQ(shown(startDate(ChartTimeRange::mtd, local("2026-12-09T15:00:00"), Qt::Monday)),
              "2026-12-01 00:00");
    EXPECT_EQ(shown(startDate(ChartTimeRange::ytd, local("2026-12-09T15:00:00"), Qt::Monday)),
              "2026-01-01 00:00");
    EXPECT_EQ(shown(startDate(ChartTimeRange::lifetime, local("2026-12-09T15:00:00"), Qt::Monday)),
              "none");

    // Wednesday 9 December 2026: the week began on Monday the 7th, or Sunday the 6th.
    const QDateTime wednesday = local("2026-12-09T15:00:00");
    EXPECT_EQ(shown(startDate(ChartTimeRange::wtd, wednesday, Qt::Monday)), "2026-12-07 00:00");
    EXPECT_EQ(shown(startDate(ChartTimeRange::wtd, wednesday, Qt::Sunday)), "2026-12-06 00:00");
    EXPECT_EQ(shown(startDate(ChartTimeRange::wtd, local("2026-12-07T00:30:00"), Qt::Monday)),
              "2026-12-07 00:00")
        << "on its first day the week starts at that day's midnight";
}

TEST(ChartTimeRanges, AWeekThatBeganOnASkippedMidnightStartsAtItsFirstHour) {
    // Brazil moved its clocks from 00:00 to 01:00 on Sunday 4 November 2018.
    const LocalZone saoPaulo("America/Sao_Paulo");
    const auto start = startDate(ChartTimeRange::wtd, local("2018-11-07T12:00:00"), Qt::Sunday);
    ASSERT_TRUE(start && start->isValid());
    EXPECT_EQ(shown(start), "2018-11-04 01:00");
}

TEST(ChartTimeRanges, LabelsRoundTripInThePickersOrder) {
    QStringList labels;
    for (ChartTimeRange range : chartTimeRanges()) {
        labels << label(range);
        EXPECT_EQ(chartTimeRangeFromLabel(label(range)), range);
    }
    EXPECT_EQ(labels.join(' '), "1d 2d 3d 5d 1w 2w 3w 1mo 2mo 3mo 6mo 9mo 1y WTD MTD YTD Lifetime");
    EXPECT_FALSE(chartTimeRangeFromLabel("1m"));
}

TEST(HistoryCharts, TheWindowAndTheZoomChooseTheSnapshotsAndTheTopTenAreLabelled) {
    QList<HistorySnapshot> snapshots;
    for (int day = 1; day <= 9; ++day)
        snapshots.append({QDateTime(QDate(2026, 12, day), QTime(3, 0), QTimeZone::utc()),
                          day,
                          100,
                          0,
                          0,
                          0,
                          {}});
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0), QTimeZone::utc());
    EXPECT_EQ(HistoryStore::visible(snapshots, ChartTimeRange::d3, now, Qt::Monday).size(), 3);
    EXPECT_EQ(HistoryStore::visible(snapshots, ChartTimeRange::lifetime, now, Qt::Monday,
                                    snapshots.at(2).ts, snapshots.at(4).ts)
                  .size(),
              3);

    HistorySnapshot latest;
    for (int i = 1; i <= 12; ++i)
        latest.dirsMB.insert(QStringLiteral("~/d%1").arg(i), i * 100);
    latest.dirsMB.insert("~/Videos", 12800);
    const QList<TopDirectory> top = HistoryStore::topDirectories(latest);
    ASSERT_EQ(top.size(), 10);
    EXPECT_EQ(top.first().path, "~/Videos");
    EXPECT_EQ(top.first().size, "12.5 GB");
    EXPECT_EQ(top.at(1).size, "1.2 GB") << "1200 MB";
    EXPECT_EQ(top.last().size, "400 MB");
}
