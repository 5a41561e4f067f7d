#include "ui/InspectWindow.h"
#include "WindowFixture.h"
#include "insight/NVMeInspector.h"
#include "support/WaitUntil.h"
#include "ui/Theme.h"
#include "ui/WindowKind.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace quindle;
using ui::InspectWindow;

namespace {

QByteArray answer(bool mounted, bool markerOk) {
    return QByteArray(R"({"mount_path":"/run/media/me/NVMe","mounted":)") +
           (mounted ? "true" : "false") + R"(,"marker_ok":)" + (markerOk ? "true" : "false") +
           R"(,"filesystem":"ext4","volume_uuid":"7094155D-A010-48D2-A910-392CDBFB315A",)"
           R"("device":"/dev/sdb1","free_gb":812,"total_gb":931,)"
           R"("marker_initialized":"2026-03-01T10:00:00Z","marker_host":"Test Box",)"
           R"("fstab_pin":false,"internal_free_gb":83,"internal_total_gb":270})";
}

} // namespace

class InspectTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        fakeService(R"sh(case "$1" in
nvme-info) cat "$HOME/answer" ;;
validate) cat "$HOME/validation"; exit "$(cat "$HOME/validation-status")" ;;
esac)sh");
        test::writeText(inHome("answer"), answer(true, true));
        hold("nvme-info");
        window = std::make_unique<InspectWindow>(inspector);
        refresh = test::control<QPushButton>(window.get(), "Refresh");
        validate = test::control<QPushButton>(window.get(), "Validate");
        showAt(window.get(), ui::specFor(ui::WindowKind::Inspect).size);
    }
    // The headline of that text, shown in that tone.
    bool headline(const QString &text, ui::Tone tone) {
        return test::waitUntil([&] {
            for (QLabel *label : window->findChildren<QLabel *>())
                if (label->text() == text && label->isVisibleTo(window.get()))
                    return label->palette().color(QPalette::WindowText) == ui::statusColor(tone);
            return false;
        });
    }
    void refreshWith(const QByteArray &json) {
        test::writeText(inHome("answer"), json);
        refresh->click();
        ASSERT_TRUE(test::waitUntil([&] { return !inspector.isRefreshing(); }));
    }

    NVMeInspector inspector;
    std::unique_ptr<InspectWindow> window;
    QPushButton *refresh = nullptr;
    QPushButton *validate = nullptr;
};

TEST_F(InspectTest, HeadlineToneAndDetailRowsForEachDriveState) {
    ASSERT_TRUE(inspector.isRefreshing()); // the first showing reads the drive
    EXPECT_TRUE(test::showsLabel(window.get(), "Reading NVMe info…"));
    EXPECT_FALSE(refresh->isEnabled());
    EXPECT_TRUE(validate->isEnabled());
    release("nvme-info");
    ASSERT_TRUE(headline("Verified", ui::Tone::Good));
    EXPECT_TRUE(refresh->isEnabled());
    auto *uuid = test::control<QLabel>(window.get(), "Volume UUID");
    EXPECT_EQ(uuid->text(), "7094155D-A010-48D2-A910-392CDBFB315A");
    const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    EXPECT_EQ(uuid->font().family(), fixed);
    EXPECT_NE(test::control<QLabel>(window.get(), "Device")->font().family(), fixed);
    EXPECT_EQ(test::control<QLabel>(window.get(), "NVMe space")->text(),
              "812 GB free / 931 GB total");
    EXPECT_TRUE(test::showsLabel(window.get(), "Present"));
    EXPECT_FALSE(test::showsNow(window.get(), "Reading NVMe info…"));

    refreshWith(answer(true, false));
    ASSERT_TRUE(headline("Mounted, marker missing", ui::Tone::Warning));
    EXPECT_TRUE(
        test::showsLabel(window.get(), "Disk at /run/media/me/NVMe is not the prepped NVMe"));
    // Rows of the previous answer do not linger.
    EXPECT_FALSE(test::showsNow(window.get(), "Present"));
    EXPECT_TRUE(test::showsLabel(window.get(), "Missing"));

    refreshWith(answer(false, false));
    ASSERT_TRUE(headline("Not mounted", ui::Tone::Bad));
    EXPECT_FALSE(test::showsNow(window.get(), "Mounted, marker missing"));

    refreshWith("Not JSON at all");
    EXPECT_TRUE(test::showsLabel(window.get(), "Could not read NVMe info."));
    EXPECT_FALSE(test::showsNow(window.get(), "Not mounted"));
    test::expectNamedControls(window.get());
}

TEST_F(InspectTest, ValidationCardAndItsButtonRestingWhileItRuns) {
    release("nvme-info");
    ASSERT_TRUE(headline("Verified", ui::Tone::Good));
    EXPECT_FALSE(test::showsNow(window.get(), "Invalid"));

    test::writeText(inHome("validation"), "\n✗ Marker: missing.\nInvalid: not a prepared NVMe.\n");
    test::writeText(inHome("validation-status"), "1");
    hold("validate");
    QTest::keyClick(window.get(), Qt::Key_Return); // Return presses the window's main button
    ASSERT_TRUE(inspector.isValidating());
    EXPECT_FALSE(validate->isEnabled());
    release("validate");
    ASSERT_TRUE(headline("Invalid", ui::Tone::Bad));
    EXPECT_TRUE(
        test::showsLabel(window.get(), "✗ Marker: missing.\nInvalid: not a prepared NVMe."));
    EXPECT_TRUE(test::waitUntil([&] { return validate->isEnabled(); }));

    test::writeText(inHome("validation"), "Valid: the prepared NVMe.");
    test::writeText(inHome("validation-status"), "0");
    validate->click();
    ASSERT_TRUE(headline("Valid", ui::Tone::Good));
    EXPECT_FALSE(test::showsNow(window.get(), "Invalid"));
}
