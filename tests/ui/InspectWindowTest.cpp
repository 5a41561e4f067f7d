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

class InspectTest : public test::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Holds a call while ~/hold-<sub-command> exists.
        fakeService(R"sh(while [ -e "$HOME/hold-$1" ]; do sleep 0.02; done
case "$1" in
nvme-info) cat "$HOME/answer" ;;
validate) cat "$HOME/validation"; exit "$(cat "$HOME/validation-status")" ;;
esac)sh");
        setAnswer(answer(true, true));
    }
    void setAnswer(const QByteArray &json) { test::writeText(inHome("answer"), json); }
    void hold(const char *command) {
        test::writeText(inHome(QStringLiteral("hold-") + command), {});
    }
    void letGo(const char *command) { QFile::remove(inHome(QStringLiteral("hold-") + command)); }

    void open() {
        window = std::make_unique<InspectWindow>(inspector);
        refresh = test::control<QPushButton>(window.get(), QStringLiteral("Refresh"));
        validate = test::control<QPushButton>(window.get(), QStringLiteral("Validate"));
        showAt(window.get(), ui::specFor(ui::WindowKind::Inspect).size);
    }
    void refreshAndWait() {
        refresh->click();
        ASSERT_TRUE(test::waitUntil([&] { return !inspector.isRefreshing(); }));
    }
    QLabel *headline(const QString &text) {
        for (QLabel *label : window->findChildren<QLabel *>())
            if (label->text() == text && label->isVisibleTo(window.get()))
                return label;
        return nullptr;
    }

    NVMeInspector inspector;
    std::unique_ptr<InspectWindow> window;
    QPushButton *refresh = nullptr;
    QPushButton *validate = nullptr;
};

} // namespace

TEST_F(InspectTest, HeadlineToneAndDetailRowsForEachDriveState) {
    open();
    ASSERT_TRUE(test::waitUntil([&] { return headline(QStringLiteral("Verified")); }));
    EXPECT_EQ(headline(QStringLiteral("Verified"))->palette().color(QPalette::WindowText),
              ui::statusColor(ui::Tone::Good));
    auto *uuid = test::control<QLabel>(window.get(), QStringLiteral("Volume UUID"));
    EXPECT_EQ(uuid->text(), QStringLiteral("7094155D-A010-48D2-A910-392CDBFB315A"));
    const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    EXPECT_EQ(uuid->font().family(), fixed);
    EXPECT_NE(test::control<QLabel>(window.get(), "Device")->font().family(), fixed);
    EXPECT_EQ(test::control<QLabel>(window.get(), "NVMe space")->text(),
              QStringLiteral("812 GB free / 931 GB total"));
    EXPECT_TRUE(test::showsLabel(window.get(), QStringLiteral("Present")));
    EXPECT_FALSE(test::showsNow(window.get(), QStringLiteral("Reading NVMe info…")));

    setAnswer(answer(true, false));
    refreshAndWait();
    ASSERT_TRUE(headline(QStringLiteral("Mounted, marker missing")));
    EXPECT_EQ(
        headline(QStringLiteral("Mounted, marker missing"))->palette().color(QPalette::WindowText),
        ui::statusColor(ui::Tone::Warning));
    EXPECT_TRUE(test::showsLabel(window.get(), QStringLiteral("Disk at /run/media/me/NVMe is not "
                                                              "the prepped NVMe")));
    // Rows of the previous answer do not linger.
    EXPECT_FALSE(test::showsNow(window.get(), QStringLiteral("Present")));
    EXPECT_TRUE(test::showsLabel(window.get(), QStringLiteral("Missing")));

    setAnswer(answer(false, false));
    refreshAndWait();
    ASSERT_TRUE(headline(QStringLiteral("Not mounted")));
    EXPECT_EQ(headline(QStringLiteral("Not mounted"))->palette().color(QPalette::WindowText),
              ui::statusColor(ui::Tone::Bad));
    EXPECT_FALSE(headline(QStringLiteral("Mounted, marker missing")));
    test::expectNamedControls(window.get());
}

TEST_F(InspectTest, PlaceholderWhileReadingAndAfterAnAnswerThatDoesNotDecode) {
    hold("nvme-info");
    open();
    ASSERT_TRUE(inspector.isRefreshing()); // the first showing reads the drive
    EXPECT_TRUE(test::showsLabel(window.get(), QStringLiteral("Reading NVMe info…")));
    EXPECT_FALSE(refresh->isEnabled());
    EXPECT_TRUE(validate->isEnabled());
    letGo("nvme-info");
    ASSERT_TRUE(test::waitUntil([&] { return headline(QStringLiteral("Verified")); }));
    EXPECT_TRUE(refresh->isEnabled());

    setAnswer("Not JSON at all");
    refreshAndWait();
    EXPECT_TRUE(test::showsLabel(window.get(), QStringLiteral("Could not read NVMe info.")));
    EXPECT_FALSE(headline(QStringLiteral("Verified")));
    EXPECT_FALSE(test::showsNow(window.get(), QStringLiteral("Present")));
}

TEST_F(InspectTest, ValidationCardAndItsButtonRestingWhileItRuns) {
    open();
    ASSERT_TRUE(test::waitUntil([&] { return headline(QStringLiteral("Verified")); }));
    EXPECT_FALSE(test::showsNow(window.get(), QStringLiteral("Invalid")));

    test::writeText(inHome("validation"), "\n✗ Marker: missing.\nInvalid: not a prepared NVMe.\n");
    test::writeText(inHome("validation-status"), "1");
    hold("validate");
    // Return presses the window's main button.
    QTest::keyClick(window.get(), Qt::Key_Return);
    ASSERT_TRUE(inspector.isValidating());
    EXPECT_FALSE(validate->isEnabled());
    letGo("validate");
    ASSERT_TRUE(test::waitUntil([&] { return headline(QStringLiteral("Invalid")); }));
    EXPECT_EQ(headline(QStringLiteral("Invalid"))->palette().color(QPalette::WindowText),
              ui::statusColor(ui::Tone::Bad));
    EXPECT_TRUE(test::showsLabel(
        window.get(), QStringLiteral("✗ Marker: missing.\nInvalid: not a prepared NVMe.")));
    EXPECT_TRUE(test::waitUntil([&] { return validate->isEnabled(); }));

    test::writeText(inHome("validation"), "Valid: the prepared NVMe.");
    test::writeText(inHome("validation-status"), "0");
    validate->click();
    ASSERT_TRUE(test::waitUntil([&] { return headline(QStringLiteral("Valid")); }));
    EXPECT_FALSE(headline(QStringLiteral("Invalid")));
}
