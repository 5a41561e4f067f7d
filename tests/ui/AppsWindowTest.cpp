#include "ui/AppsWindow.h"
#include "WindowFixture.h"
#include "apps/AppManifestStore.h"
#include "apps/AppRelocator.h"
#include "apps/AppsWindowModel.h"
#include "mover/MoverLog.h"
#include "support/WaitUntil.h"
#include "ui/WindowKind.h"

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>

using namespace quindle;

class AppsWindowTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        const QString root = inHome("Applications");
        QDir().mkpath(inHome("NVMe"));
        editor = entry(root, "Editor", 2'000'000'000);
        locked = entry("/opt", "Vendor", 500'000'000);
        locked.rootNotWritable = true;
        locked.accessProblem = "Moving it needs administrator rights: /opt is not writable for "
                               "you; choose an apps root you own.";
        scan.entries = {editor, locked};
        MovedAppsLedger::save(
            {{std::nullopt, inHome("Applications/Old Tool"), inHome("NVMe/Apps/Old Tool"),
              "Old Tool", 7'000'000, QDateTime::currentDateTime()}});
        relocator = std::make_unique<AppRelocator>(log, nullptr);
        model = std::make_unique<AppsWindowModel>(
            *relocator, [this] { return inHome("NVMe"); }, [this] { return scan; });
        window = std::make_unique<ui::AppsWindow>(*model);
        model->rescan();
        ASSERT_TRUE(test::waitUntil([&] { return !model->isScanning(); }));
        showAt(window.get(), ui::specFor(ui::WindowKind::Apps).size);
    }
    static AppEntry entry(const QString &root, const QString &name, qint64 bytes) {
        AppEntry e;
        e.root = root;
        e.path = root + "/" + name;
        e.id = e.path;
        e.displayName = name;
        e.sizeBytes = bytes;
        e.lastUsedAt = QDateTime::currentDateTime().addDays(-200);
        return e;
    }

    MoverLog log;
    std::unique_ptr<AppRelocator> relocator;
    AppEntry editor, locked;
    AppScan scan;
    std::unique_ptr<AppsWindowModel> model;
    std::unique_ptr<ui::AppsWindow> window;
};

TEST_F(AppsWindowTest, OnlyMovableAppsCanBePickedAndTheFooterCountsThem) {
    test::expectNamedControls(window.get());
    auto *move = test::control<QPushButton>(window.get(), "Move to NVMe");
    EXPECT_FALSE(move->isEnabled()) << "nothing is selected yet";
    EXPECT_FALSE(test::control<QCheckBox>(window.get(), "Select Vendor")->isEnabled());
    EXPECT_TRUE(test::showsLabel(window.get(), locked.accessProblem.value()));

    test::control<QCheckBox>(window.get(), "Select Editor")->click();
    EXPECT_EQ(model->selection(), QSet<QString>{editor.id});
    EXPECT_TRUE(test::control<QPushButton>(window.get(), "Move to NVMe")->isEnabled());
    EXPECT_TRUE(test::showsLabel(window.get(), model->footerText()));
    EXPECT_TRUE(model->footerText().startsWith("1 app selected"));

    QSignalSpy roots(window.get(), &ui::AppsWindow::appsRootsRequested);
    test::control<QPushButton>(window.get(), "Apps roots…")->click();
    EXPECT_EQ(roots.count(), 1);
}

TEST_F(AppsWindowTest, TheMovedTabOffersEachMovedAppBack) {
    test::control<QTabBar>(window.get(), "Apps tabs")->setCurrentIndex(1);
    EXPECT_EQ(model->tab(), AppsWindowModel::Tab::Moved);
    EXPECT_TRUE(test::waitUntil([&] {
        return test::control<QPushButton>(window.get(), "Move Old Tool back")->isVisible();
    }));
}
