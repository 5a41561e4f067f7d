#include "core/ServiceStatus.h"
#include "core/DriveIdentity.h"
#include "core/StatePaths.h"
#include "support/TempHome.h"

using namespace quindle;

namespace {

const char *kComplete = R"({
  "timestamp": "2026-12-06T10:00:00Z", "version": 1, "nvme_path": "/media/u/NVMe", "mounted": true,
  "marker_ok": true, "nvme_free_gb": 812, "nvme_total_gb": 1000, "internal_free_gb": 41,
  "internal_total_gb": 494, "idle_secs": 12, "quiet_hours": false, "paused": false,
  "auto_enabled": true, "last_run": "2026-12-06T03:00:00Z", "last_event": "rules ran",
  "low_space_warn_gb": 40, "low_space_critical_gb": 15, "auto_relocate_hour": 3,
  "quiet_hours_blocked": "9-19", "rule_count": 2, "app_cache_path_count": 0, "quiet_mode": "smart",
  "quiet_reason": "On battery below 30 %.", "smart_idle_minutes": 5, "smart_min_battery": 30,
  "smart_respect_meetings": true, "on_battery": true, "battery_pct": 22, "meeting_active": false,
  "nvme_uuid": "1234-ABCD"
})";

QByteArray without(const char *key) {
    QByteArray json(kComplete);
    const qsizetype start = json.indexOf(QByteArray("\"") + key + "\"");
    const qsizetype end = json.indexOf(',', start);
    return json.remove(start, end - start + 1);
}

} // namespace

TEST(ServiceStatusDecode, ReadsEveryKey) {
    const auto decoded = ServiceStatus::decode(kComplete);
    ASSERT_TRUE(std::holds_alternative<ServiceStatus>(decoded))
        << std::get<QString>(decoded).toStdString();
    const ServiceStatus &s = std::get<ServiceStatus>(decoded);
    EXPECT_EQ(s.nvme_path, "/media/u/NVMe");
    EXPECT_EQ(s.nvme_free_gb, 812);
    EXPECT_EQ(s.battery_pct, 22);
    EXPECT_EQ(s.smart_respect_meetings, true);
    EXPECT_EQ(s.effectiveQuietMode(), "smart");
}

TEST(ServiceStatusDecode, OptionalKeysMayBeAbsentOrNull) {
    QByteArray minimal = without("quiet_mode");
    for (const char *key : {"nvme_free_gb", "nvme_total_gb", "last_run", "last_event",
                            "quiet_reason", "smart_idle_minutes", "smart_min_battery",
                            "smart_respect_meetings", "on_battery", "battery_pct"})
        minimal = QByteArray(minimal).replace(QByteArray("\"") + key + "\"",
                                              QByteArray("\"x_") + key + "\"");
    minimal.replace("\"meeting_active\": false", "\"meeting_active\": null");
    const auto decoded = ServiceStatus::decode(minimal);
    ASSERT_TRUE(std::holds_alternative<ServiceStatus>(decoded))
        << std::get<QString>(decoded).toStdString();
    const ServiceStatus &s = std::get<ServiceStatus>(decoded);
    EXPECT_EQ(s.quiet_mode, std::nullopt);
    EXPECT_EQ(s.effectiveQuietMode(), "schedule");
    EXPECT_EQ(s.nvme_free_gb, std::nullopt);
    EXPECT_EQ(s.meeting_active, std::nullopt);
}

TEST(ServiceStatusDecode, ABadKeyRejectsTheWholeFileWithAReadableMessage) {
    QByteArray stringForInteger(kComplete);
    stringForInteger.replace("\"internal_free_gb\": 41", "\"internal_free_gb\": \"41\"");
    const auto wrongType = ServiceStatus::decode(stringForInteger);
    ASSERT_TRUE(std::holds_alternative<QString>(wrongType));
    EXPECT_EQ(std::get<QString>(wrongType), "The key “internal_free_gb” must be an integer.");
    // …while the single-key reader still finds what it needs.
    const StatusFileKeys keys = StatusFileKeys::fromJson(stringForInteger);
    EXPECT_EQ(keys.nvmePath, "/media/u/NVMe");
    EXPECT_EQ(keys.mounted, true);
    EXPECT_EQ(keys.nvmeUUID, "1234-ABCD");

    EXPECT_EQ(std::get<QString>(ServiceStatus::decode(without("paused"))),
              "The key “paused” is missing.");
    EXPECT_TRUE(std::get<QString>(ServiceStatus::decode("{\"timestamp\": "))
                    .startsWith("The status file is not valid JSON"));
    EXPECT_TRUE(std::holds_alternative<QString>(ServiceStatus::decode("[1, 2]")));
    QByteArray emptyPath(kComplete);
    emptyPath.replace("\"/media/u/NVMe\"", "\"\"");
    EXPECT_TRUE(std::holds_alternative<ServiceStatus>(ServiceStatus::decode(emptyPath)));
}

class DriveIdentity : public test::TempHomeTest {
protected:
    void writeStatus(const QByteArray &json) { test::writeText(paths::statusFile(), json); }
    void SetUp() override {
        TempHomeTest::SetUp();
        setEnv("QUINDLE_MACHINE_NAME", "Office's Laptop.local");
    }
};

TEST_F(DriveIdentity, PrefersTheStatusFileThenTheMarker) {
    EXPECT_EQ(currentDriveUUID(), std::nullopt); // no status file at all

    writeStatus(R"({"nvme_uuid": "", "volume_uuid": "X-1"})");
    EXPECT_EQ(currentDriveUUID(), "X-1");
    writeStatus(R"({"nvme_uuid": "", "volume_uuid": ""})");
    EXPECT_EQ(currentDriveUUID(), std::nullopt);

    const QString drive = inHome("drive");
    writeStatus(QStringLiteral(R"({"nvme_uuid": "", "nvme_path": "%1"})").arg(drive).toUtf8());
    EXPECT_EQ(currentDriveUUID(), std::nullopt); // no marker yet
    test::writeText(drive + "/QNDL-Offices-Laptop/.tarnel-managed",
                    "initialized=2026-01-01\nvolume_uuid=AB=CD\nhost=x\n");
    EXPECT_EQ(markerFile(drive), drive + "/QNDL-Offices-Laptop/.tarnel-managed");
    EXPECT_EQ(currentDriveUUID(), "AB=CD");

    writeStatus("not json");
    EXPECT_EQ(currentDriveUUID(), std::nullopt);
}

TEST(MarkerText, TheKeyMustMatchExactly) {
    EXPECT_EQ(markerVolumeUUID("volume_uuid =X\nvolume_uuid=Y"), "Y");
    EXPECT_EQ(markerVolumeUUID("=volume_uuid\nvolume_uuid=\n"), std::nullopt);
    EXPECT_EQ(markerVolumeUUID(" volume_uuid=X"), std::nullopt);
    EXPECT_EQ(markerVolumeUUID("volume_uuid= X "), " X ");
}

TEST(WorkingFolderName, SanitisesTheComputerName) {
    const struct {
        const char *display;
        const char *folder;
    } cases[] = {
        {"Office's MacBook Pro.local", "Offices-MacBook-Pro"},
        {"\"'' ’ \"", "Computer"},
        {"  spaced   out  ", "spaced-out"},
        {"desk\u2019s box", "desks-box"},
        {"plain", "plain"},
        {"-edge-", "edge"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(WorkingFolder::sanitisedName(QString::fromUtf8(c.display)),
                  QString::fromUtf8(c.folder))
            << c.display;
}
