// The storage windows and the popover's Free Up Space control over a stand-in service.
#include "WindowFixture.h"
#include "core/StatePaths.h"
#include "insight/FreeSpaceResult.h"
#include "insight/HistoryStore.h"
#include "insight/ServiceRun.h"
#include "insight/StorageScan.h"
#include "support/WaitUntil.h"
#include "ui/ChartsWindow.h"
#include "ui/FreeSpacePanel.h"
#include "ui/ServiceRunWindow.h"
#include "ui/StorageInspectorWindow.h"
#include "ui/WindowKind.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

using namespace quindle;

namespace {

QMessageBox *openQuestion(QWidget *window) {
    QMessageBox *box = nullptr;
    test::waitUntil([&] { return (box = window->findChild<QMessageBox *>()) != nullptr; });
    return box;
}

} // namespace

class StorageWindows : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        fakeService(R"sh(case "$1" in
scan-storage)
  echo '{"phase":"scanning","total_bytes":0,"probed":3}'
  echo '{"path":"/h/small","label":"small","size_bytes":5000000,"actionable":false}'
  echo '{"path":"/h/big","label":"big","size_bytes":900000000,"actionable":true}'
  [[ -e $HOME/endless ]] && while :; do sleep 0.1; done
  echo '{"phase":"done","total_bytes":905000000,"probed":3}' ;;
move-dir) echo "Moved $2." ;;
free-space) echo "Freed."; mkdir -p "$HOME/.quindle/state"; printf 'delta_gb=3\nfiles_moved=2\ncaches_cleaned=1\n' >"$HOME/.quindle/state/last-free-space.txt" ;;
esac)sh");
    }
};

TEST_F(StorageWindows, TheInspectorListsLargestFirstAndMovesOnlyWhatThePersonConfirms) {
    StorageScan scan;
    ServiceRun move(ServiceRun::folderMove());
    int opened = 0;
    ui::StorageInspectorWindow window(scan, move, [&] { ++opened; });
    showAt(&window, ui::specFor(ui::WindowKind::StorageInspector).size);
    ASSERT_TRUE(test::waitUntil([&] { return scan.isDone() && !scan.isRunning(); }));
    QTreeWidget *table = window.table();
    ASSERT_EQ(table->topLevelItemCount(), 2);
    EXPECT_EQ(table->topLevelItem(0)->text(1), "big");
    EXPECT_EQ(table->topLevelItem(0)->text(0), "900.0 MB");
    EXPECT_TRUE(test::showsLabel(&window, "Scan complete · 905.0 MB across 2 paths"));
    const QList<QPushButton *> moves = [&] {
        QList<QPushButton *> found;
        for (QPushButton *button : window.findChildren<QPushButton *>())
            if (button->text() == "Move to NVMe")
                found << button;
        return found;
    }();
    ASSERT_EQ(moves.size(), 1);
    test::expectNamedControls(&window);

    moves.first()->click();
    QMessageBox *question = openQuestion(&window);
    ASSERT_NE(question, nullptr);
    question->reject();
    QApplication::processEvents();
    EXPECT_FALSE(move.isRunning());
    EXPECT_FALSE(calls().contains("move-dir /h/big"));

    moves.first()->click();
    question = openQuestion(&window);
    ASSERT_NE(question, nullptr);
    for (QAbstractButton *button : question->buttons())
        if (button->text() == "Move")
            button->click();
    ASSERT_TRUE(test::waitUntil([&] { return move.exitCode().has_value(); }));
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(calls().contains("move-dir /h/big"));
    // The moved folder is a link now, so the home is measured again.
    EXPECT_TRUE(test::waitUntil([&] { return calls().count("scan-storage") == 2; }));
}

TEST_F(StorageWindows, ClosingTheInspectorStopsItsScan) {
    test::writeText(inHome("endless"), "");
    StorageScan scan;
    ServiceRun move(ServiceRun::folderMove());
    auto window = std::make_unique<ui::StorageInspectorWindow>(scan, move, nullptr);
    showAt(window.get(), ui::specFor(ui::WindowKind::StorageInspector).size);
    ASSERT_TRUE(test::waitUntil([&] { return scan.rows().size() == 2; }));
    EXPECT_TRUE(test::showsLabel(window.get(), "2 paths found so far"));
    window->close();
    EXPECT_TRUE(test::waitUntil([&] { return !scan.isRunning(); }));
    EXPECT_FALSE(scan.isDone());
}

TEST_F(StorageWindows, FreeSpaceRunsOnceShowsItsBannerUntilDismissedAndWaitsWhilePaused) {
    ServiceRun run(ServiceRun::freeSpace());
    FreeSpaceResult result;
    QObject::connect(&run, &ServiceRun::finished, &result, &FreeSpaceResult::reload);
    bool paused = true;
    int opened = 0;
    ui::FreeSpacePanel panel(
        run, result, [&] { return paused; }, [&] { ++opened; });
    showAt(&panel, {500, 200});
    EXPECT_FALSE(panel.button()->isEnabled());
    EXPECT_TRUE(test::showsLabel(&panel, ui::FreeSpacePanel::pausedHint()));

    paused = false;
    panel.rebuild();
    hold("free-space");
    panel.button()->click();
    ASSERT_TRUE(run.isRunning());
    EXPECT_TRUE(test::showsLabel(&panel, ui::FreeSpacePanel::runningHint()));
    panel.button()->click(); // shows the run, never starts a second
    EXPECT_EQ(opened, 2);
    release("free-space");
    ASSERT_TRUE(test::waitUntil([&] { return !run.isRunning(); }));
    EXPECT_EQ(calls().count("free-space"), 1);

    ASSERT_TRUE(test::waitUntil([&] { return panel.banner()->isVisible(); }));
    EXPECT_TRUE(test::showsLabel(&panel, "Freed 3 GB — 2 files moved, 1 caches cleaned"));
    test::control<QPushButton>(&panel, "Dismiss")->click();
    EXPECT_FALSE(panel.banner()->isVisible());
}

TEST_F(StorageWindows, ARunWindowTellsHowTheRunEnded) {
    fakeService("echo 'Kept one file.'; exit 3\n");
    ServiceRun run(ServiceRun::cloudOptimisation());
    ui::ServiceRunWindow window(run, ui::RunWindowTexts::cloudOptimisation());
    showAt(&window, ui::specFor(ui::WindowKind::CloudOptimisation).size);
    run.start("/mnt/cloud");
    ASSERT_TRUE(test::waitUntil([&] { return !run.isRunning(); }));
    EXPECT_TRUE(test::showsLabel(&window, "Cloud folder optimisation failed"));
    EXPECT_TRUE(test::showsLabel(&window, "Exited with code 3 · see output above"));
    EXPECT_TRUE(test::showsLabel(&window, "Path: /mnt/cloud"));
    EXPECT_FALSE(test::control<QPushButton>(&window, "Stop")->isVisible());
}

TEST_F(StorageWindows, ChartsNeedTwoSnapshotsAndAZoomLastsUntilTheRangeChanges) {
    HistoryStore history;
    test::writeText(paths::historyFile(), R"({"ts":"2026-12-01T09:00:00Z","internal_free_gb":40})"
                                          "\n");
    ui::ChartsWindow window(history);
    showAt(&window, ui::specFor(ui::WindowKind::Charts).size);
    EXPECT_TRUE(test::showsLabel(&window, HistoryStore::notEnoughSnapshotsText()));

    QByteArray lines;
    for (int day = 1; day <= 20; ++day)
        lines += QStringLiteral(R"({"ts":"2026-11-%1T09:00:00Z","internal_free_gb":%2,)"
                                R"("internal_total_gb":500,"nvme_free_gb":600,"nvme_total_gb":900})"
                                "\n")
                     .arg(day, 2, 10, QLatin1Char('0'))
                     .arg(40 + day)
                     .toUtf8();
    test::writeText(paths::historyFile(), lines);
    window.setNow(QDateTime(QDate(2026, 11, 21), QTime(12, 0), Qt::UTC));
    history.refresh();
    window.setTimeRange(ChartTimeRange::w1);
    EXPECT_TRUE(test::showsLabel(&window, "6 of 20 snapshots"));
    window.setZoom(QDateTime(QDate(2026, 11, 18), QTime(0, 0), Qt::UTC),
                   QDateTime(QDate(2026, 11, 16), QTime(0, 0), Qt::UTC));
    EXPECT_TRUE(test::showsLabel(&window, "2 of 20 snapshots"));
    EXPECT_TRUE(test::control<QPushButton>(&window, "Reset Zoom")->isVisible());
    window.setTimeRange(ChartTimeRange::lifetime);
    EXPECT_FALSE(window.zoomStart().has_value());
    EXPECT_TRUE(test::showsLabel(&window, "20 of 20 snapshots"));
}
