#include "apps/AppsWindowModel.h"
#include "mover/MoverLog.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDir>

using namespace quindle;
using namespace quindle::test;

namespace {

const QDateTime kModelNow = QDateTime(QDate(2026, 3, 10), QTime(12, 0));

AppEntry entry(const QString &name, std::optional<int> daysUnused, qint64 bytes) {
    AppEntry e;
    e.path = QStringLiteral("/apps/") + name;
    e.root = "/apps";
    e.id = e.path;
    e.displayName = name;
    e.sizeBytes = bytes;
    if (daysUnused)
        e.lastUsedAt = kModelNow.addDays(-*daysUnused);
    return e;
}

} // namespace

class AppsList : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        AppEntry running = entry("Running", 100, 1);
        running.isRunning = true;
        AppEntry packaged = entry("Packaged", std::nullopt, 1);
        packaged.packageOwner = "pkg";
        AppEntry pinned = entry("Pinned", 45, 2'000'000);
        pinned.bundleID = "org.pinned";
        pinned.id = *pinned.bundleID;
        AppEntry moved = entry("Moved", std::nullopt, 0);
        moved.isMovedSymlink = true;
        scan.entries = {
            entry("Fresh", 3, 1), entry("Old", 400, 1'000'000), running, packaged, pinned, moved};
        scan.facts.favouriteIDs = {"org.pinned"};
        relocator = std::make_unique<AppRelocator>(log, nullptr);
        model = std::make_unique<AppsWindowModel>(
            *relocator, [this] { return nvme; }, [this] { return scan; });
        model->setNow(kModelNow);
        model->rescan();
        EXPECT_TRUE(waitUntil([&] { return !model->isScanning(); }));
    }

    QStringList shown() const {
        QStringList names;
        for (const AppEntry &e : model->filteredEntries())
            names << e.displayName;
        return names;
    }

    AppScan scan;
    QString nvme;
    MoverLog log;
    std::unique_ptr<AppRelocator> relocator;
    std::unique_ptr<AppsWindowModel> model;
};

TEST_F(AppsList, FiltersHideRecentRunningAndMovedApps) {
    EXPECT_EQ(shown(), QStringList({"Old", "Packaged", "Pinned"}));
    model->setHideRunning(false);
    model->setMinDaysFilter(365);
    EXPECT_EQ(shown(), QStringList({"Old", "Packaged"}));
    model->setMinDaysFilter(90);
    EXPECT_EQ(shown(), QStringList({"Old", "Running", "Packaged"}));
    model->setMinDaysFilter(0);
    EXPECT_EQ(shown().size(), 5);
}

TEST_F(AppsList, SelectAllTakesEveryShownAppThatIsNotBlocked) {
    model->selectAllEligible();
    EXPECT_EQ(model->selection(), QSet<QString>({"/apps/Old", "org.pinned"}));
    EXPECT_EQ(model->selectedBytes(), 3'000'000);
    EXPECT_EQ(model->footerText(), QStringLiteral("2 apps selected · %1 will be freed on internal.")
                                       .arg(AppsWindowModel::sizeText(3'000'000)));
    model->setMinDaysFilter(365); // Pinned leaves the list: its selection no longer counts
    EXPECT_EQ(model->selectedBytes(), 1'000'000);
}

TEST_F(AppsList, MovingNeedsAKnownDriveAndReportsRefusals) {
    EXPECT_FALSE(model->nvmeAvailable());
    model->selectAllEligible();
    model->moveSelected();
    EXPECT_EQ(model->errorToast(), "NVMe path unknown. Refresh the status and try again.");

    nvme = inHome("not mounted");
    EXPECT_FALSE(model->nvmeAvailable());
    QDir().mkpath(nvme);
    EXPECT_TRUE(model->nvmeAvailable());
    model->dismissError();
    model->moveSelected();
    EXPECT_EQ(model->errorToast(), "NVMe drive is not mounted. Plug it in and try again.");
    EXPECT_TRUE(model->selection().isEmpty());
    EXPECT_TRUE(relocator->pendingJobs().isEmpty());
}
