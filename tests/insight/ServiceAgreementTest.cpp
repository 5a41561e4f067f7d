// The application only reads what the service writes: run the real scripts and decode their
// output with the application's own decoders.
#include "core/DriveIdentity.h"
#include "core/ServiceStatus.h"
#include "core/StatePaths.h"
#include "insight/NVMeInfo.h"
#include "insight/NVMeInspector.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace quindle;
using test::ServiceSandbox;

class ServiceAgreement : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        setEnv("QUINDLE_MACHINE_NAME", "Test Box");
        drive = inHome("drives/My \"Fast\" Drive\tü");
        QDir().mkpath(drive);
    }
    QString drive;
};

TEST_F(ServiceAgreement, StatusAndNVMeInfoDecodeAndAgreeOnTheDrive) {
    ServiceSandbox::install(drive);
    ASSERT_EQ(ServiceSandbox::prepareDrive(drive), 0);
    QString output;
    ASSERT_EQ(ServiceSandbox::run({"watch", "--once"}, &output), 0) << output.toStdString();

    const QByteArray statusBytes = test::readText(paths::statusFile());
    const auto decoded = ServiceStatus::decode(statusBytes);
    ASSERT_TRUE(std::holds_alternative<ServiceStatus>(decoded))
        << std::get<QString>(decoded).toStdString() << "\n"
        << statusBytes.toStdString();
    const ServiceStatus &status = std::get<ServiceStatus>(decoded);
    EXPECT_EQ(status.nvme_path, drive);
    EXPECT_TRUE(status.mounted);
    EXPECT_TRUE(status.marker_ok);
    EXPECT_GT(status.internal_total_gb, 0);
    EXPECT_EQ(status.low_space_warn_gb, 40);
    EXPECT_EQ(status.quiet_hours_blocked, "9-19");
    EXPECT_EQ(status.rule_count, 0);
    EXPECT_TRUE(status.nvme_free_gb.has_value());

    // Every key the status file has is one the application knows.
    const QStringList known{"timestamp",
                            "version",
                            "nvme_path",
                            "mounted",
                            "marker_ok",
                            "nvme_free_gb",
                            "nvme_total_gb",
                            "internal_free_gb",
                            "internal_total_gb",
                            "idle_secs",
                            "quiet_hours",
                            "paused",
                            "auto_enabled",
                            "last_run",
                            "last_event",
                            "low_space_warn_gb",
                            "low_space_critical_gb",
                            "auto_relocate_hour",
                            "quiet_hours_blocked",
                            "rule_count",
                            "app_cache_path_count",
                            "quiet_mode",
                            "quiet_reason",
                            "smart_idle_minutes",
                            "smart_min_battery",
                            "smart_respect_meetings",
                            "on_battery",
                            "battery_pct",
                            "meeting_active",
                            "nvme_uuid",
                            "volume_uuid"};
    for (const QString &key : QJsonDocument::fromJson(statusBytes).object().keys())
        EXPECT_TRUE(known.contains(key)) << key.toStdString();

    // The drive's identity: the filesystem's UUID when it has one, else the marker's.
    const QString markerText = QString::fromUtf8(test::readText(markerFile(drive)));
    const std::optional<QString> markerUUID = markerVolumeUUID(markerText);
    ASSERT_TRUE(markerUUID.has_value()) << markerText.toStdString();
    EXPECT_EQ(currentDriveUUID(), markerUUID);

    ASSERT_EQ(ServiceSandbox::run({"nvme-info"}, &output), 0);
    const std::optional<NVMeInfo> info = NVMeInfo::decode(output.toUtf8());
    ASSERT_TRUE(info.has_value()) << output.toStdString();
    EXPECT_EQ(info->mount_path, drive);
    EXPECT_TRUE(info->mounted);
    EXPECT_TRUE(info->marker_ok);
    EXPECT_EQ(info->marker_host, "Test Box");
    EXPECT_EQ(info->internal_total_gb, status.internal_total_gb);
    EXPECT_EQ(NVMeInspection::from(*info).headline, "Verified");
}

TEST_F(ServiceAgreement, AMismatchedMarkerShowsAsForeignAndFailsValidation) {
    ServiceSandbox::install(drive);
    ASSERT_EQ(ServiceSandbox::prepareDrive(drive), 0);
    QString marker = QString::fromUtf8(test::readText(markerFile(drive)));
    const QString uuid = *markerVolumeUUID(marker);
    test::writeText(markerFile(drive), marker.replace(uuid, "00000000-FOREIGN").toUtf8());
    ASSERT_EQ(ServiceSandbox::run({"watch", "--once"}), 0);
    const auto status =
        std::get<ServiceStatus>(ServiceStatus::decode(test::readText(paths::statusFile())));
    const bool filesystemHasUUID = StatusFileKeys::read().nvmeUUID.value_or(QString()).size() > 0;
    // Without a filesystem UUID the marker is the only identity, so it cannot disagree.
    EXPECT_EQ(status.marker_ok, !filesystemHasUUID);
    QString output;
    EXPECT_EQ(ServiceSandbox::run({"validate"}, &output) == 0, !filesystemHasUUID)
        << output.toStdString();
}

TEST_F(ServiceAgreement, InspectorModelRefreshesAndValidatesThroughTheService) {
    ServiceSandbox::install(drive);
    NVMeInspector inspector;
    inspector.validate();
    EXPECT_TRUE(inspector.isValidating());
    ASSERT_TRUE(test::waitUntil(
        [&] { return !inspector.isValidating() && inspector.validationPassed(); }, 30000));
    EXPECT_EQ(inspector.validationPassed(), false); // not prepared yet: no marker
    EXPECT_FALSE(inspector.validationText().isEmpty());
    ASSERT_TRUE(
        test::waitUntil([&] { return !inspector.isRefreshing() && inspector.info(); }, 30000));
    EXPECT_EQ(NVMeInspection::from(*inspector.info()).headline, "Mounted, marker missing");

    QFile::remove(paths::serviceScript());
    inspector.refresh();
    EXPECT_EQ(inspector.placeholderText(), "Reading NVMe info…");
    ASSERT_TRUE(test::waitUntil([&] { return !inspector.isRefreshing(); }, 30000));
    EXPECT_EQ(inspector.info(), std::nullopt);
    EXPECT_EQ(inspector.placeholderText(), "Could not read NVMe info.");
}
