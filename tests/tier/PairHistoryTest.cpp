#include "tier/PairHistory.h"
#include "core/StatePaths.h"
#include "support/TempHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace quindle;

class PairHistoryTest : public test::TempHomeTest {
protected:
    // One second later on every record, so recency is unambiguous.
    void tick(PairHistory &history) {
        history.setClock([this] { return start.addSecs(++m_seconds); });
    }
    static QStringList labels(const PairHistory &history) {
        QStringList out;
        for (const PairRecord &record : history.records())
            out << record.label();
        return out;
    }
    void recordNamed(PairHistory &history, const QString &name) {
        history.record(QStringLiteral("/h/") + name, QStringLiteral("/d/") + name);
    }

    const QDateTime start{QDate(2024, 5, 1), QTime(12, 0), Qt::UTC};

private:
    int m_seconds = 0;
};

TEST_F(PairHistoryTest, TheTwentyFirstUnpinnedPairDropsTheOldestWhilePinnedPairsStayOnTop) {
    PairHistory history;
    tick(history);
    recordNamed(history, "Zeta");
    recordNamed(history, "Alpha");
    for (const PairRecord &record : QList<PairRecord>(history.records()))
        history.setPinned(record, true);
    for (int i = 1; i <= 21; ++i)
        recordNamed(history, QStringLiteral("P%1").arg(i));

    ASSERT_EQ(history.records().size(), 2 + PairHistory::maxRecords);
    const QStringList shown = labels(history);
    EXPECT_EQ(shown.mid(0, 3), (QStringList{"Alpha", "Zeta", "P21"}));
    EXPECT_EQ(shown.last(), "P2");
    EXPECT_FALSE(shown.contains("P1"));
    EXPECT_EQ(labels(PairHistory()), shown) << "the file holds what the model shows";
}

TEST_F(PairHistoryTest, RecordingAPinnedPairAgainKeepsItPinnedAndRefreshesItsTime) {
    PairHistory history;
    tick(history);
    recordNamed(history, "App");
    history.setPinned(history.records().first(), true);
    recordNamed(history, "Other");
    recordNamed(history, "App");

    const PairRecord app = *history.find("/h/App", "/d/App");
    EXPECT_TRUE(app.isPinned);
    EXPECT_EQ(app.lastUsedAt, start.addSecs(3));
    EXPECT_EQ(history.records().size(), 2);

    history.setPinned(app, false);
    EXPECT_EQ(labels(history), (QStringList{"App", "Other"})) << "unpinned: newest first";
}

TEST_F(PairHistoryTest, ClearKeepsPinnedPairsAndForgetRemovesEvenAPinnedOne) {
    PairHistory history;
    tick(history);
    recordNamed(history, "Keep");
    history.setPinned(history.records().first(), true);
    recordNamed(history, "Drop");
    history.clear();
    EXPECT_EQ(labels(history), QStringList{"Keep"});
    history.forget(history.records().first());
    EXPECT_TRUE(history.records().isEmpty());
    EXPECT_TRUE(PairHistory().records().isEmpty());
}

TEST_F(PairHistoryTest, AnInvalidFileLoadsAsEmptyAndIsReplacedAtTheNextChange) {
    test::writeText(paths::recentPairsFile(), "[{\"leftPath\": ");
    PairHistory history;
    EXPECT_TRUE(history.records().isEmpty());

    tick(history);
    recordNamed(history, "App");
    const QByteArray text = test::readText(paths::recentPairsFile());
    const QJsonObject record = QJsonDocument::fromJson(text).array().first().toObject();
    EXPECT_EQ(record.keys(), (QStringList{"isPinned", "lastUsedAt", "leftPath", "rightPath"}));
    EXPECT_EQ(record.value("lastUsedAt").toString(), "2024-05-01T12:00:01Z");
    EXPECT_TRUE(text.contains("\n    {")) << "indented";
}

TEST_F(PairHistoryTest, RecordsThatFailToDecodeAreSkippedAndAnAbsentPinReadsAsFalse) {
    test::writeText(paths::recentPairsFile(), R"([
        {"leftPath": "/h/A", "rightPath": "/d/A", "lastUsedAt": "2024-01-02T03:04:05Z"},
        {"leftPath": "/h/B", "lastUsedAt": "2024-01-02T03:04:05Z"},
        {"leftPath": "/h/C", "rightPath": "/d/C", "lastUsedAt": "yesterday"}])");
    PairHistory history;
    ASSERT_EQ(history.records().size(), 1);
    EXPECT_FALSE(history.records().first().isPinned);
}

TEST_F(PairHistoryTest, LabelsNameTheSharedFolderAndSubtitlesShowTheHomeAsTilde) {
    const PairRecord same{inHome("Working/App"), "/media/me/NVMe/Working/App", {}, false};
    EXPECT_EQ(same.label(), "App");
    EXPECT_EQ(same.subtitle(), "~/Working/App  ↔  /media/me/NVMe/Working/App");
    const PairRecord differ{home() + "-other/A", home(), {}, false};
    EXPECT_EQ(differ.label(), "A ↔ " + home().section('/', -1));
    EXPECT_EQ(differ.subtitle(), home() + "-other/A  ↔  ~") << "a longer name is not the home";
}
