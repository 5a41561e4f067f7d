#include "insight/NVMeInfo.h"

#include <gtest/gtest.h>

using namespace quindle;

namespace {

NVMeInfo mountedInfo() {
    NVMeInfo info;
    info.mount_path = "/media/u/NVMe";
    info.mounted = true;
    info.marker_ok = true;
    info.filesystem = "ext4";
    info.volume_uuid = "0b1c-22";
    info.free_gb = 700;
    info.total_gb = 1000;
    info.marker_initialized = "2026-11-01T09:00:00Z";
    info.marker_host = "Test Box";
    info.internal_free_gb = 41;
    info.internal_total_gb = 494;
    return info;
}

QStringList labels(const NVMeInspection &inspection) {
    QStringList result;
    for (const auto &row : inspection.rows)
        result << row.label;
    return result;
}

} // namespace

TEST(NVMeInfoDecode, RequiresEveryKeyButTheDriveSpace) {
    const QByteArray full =
        R"({"mount_path": "/m", "mounted": true, "marker_ok": false, "filesystem": "",
        "volume_uuid": "", "device": "", "marker_initialized": "", "marker_host": "", "fstab_pin": false,
        "internal_free_gb": 1, "internal_total_gb": 2})";
    const std::optional<NVMeInfo> info = NVMeInfo::decode(full);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->free_gb, std::nullopt);
    EXPECT_EQ(NVMeInfo::decode(QByteArray(full).replace("\"device\": \"\",", "")), std::nullopt);
    EXPECT_EQ(
        NVMeInfo::decode(QByteArray(full).replace("\"mounted\": true", "\"mounted\": \"yes\"")),
        std::nullopt);
    EXPECT_EQ(NVMeInfo::decode("Could not reach the drive."), std::nullopt);
}

TEST(NVMeInspection, HeadlineAndSubtitleFollowMountAndMarker) {
    NVMeInfo info = mountedInfo();
    NVMeInspection verified = NVMeInspection::from(info);
    EXPECT_EQ(verified.tone, NVMeInspection::Tone::Good);
    EXPECT_EQ(verified.headline, "Verified");
    EXPECT_TRUE(
        verified.subtitle.startsWith("UUID matches; marker file present at /media/u/NVMe/QNDL-"));
    EXPECT_TRUE(verified.subtitle.endsWith("/.tarnel-managed"));

    info.marker_ok = false;
    const NVMeInspection foreign = NVMeInspection::from(info);
    EXPECT_EQ(foreign.tone, NVMeInspection::Tone::Warning);
    EXPECT_EQ(foreign.headline, "Mounted, marker missing");
    EXPECT_EQ(foreign.subtitle, "Disk at /media/u/NVMe is not the prepped NVMe");

    info.mounted = false;
    const NVMeInspection gone = NVMeInspection::from(info);
    EXPECT_EQ(gone.headline, "Not mounted");
    EXPECT_TRUE(gone.subtitle.startsWith("Plug in the drive or click Remount in "));
}

TEST(NVMeInspection, RowsAppearOnlyWithSomethingToSay) {
    NVMeInfo info = mountedInfo();
    const NVMeInspection full = NVMeInspection::from(info);
    EXPECT_EQ(labels(full),
              QStringList({"Mount path", "Mounted", "Filesystem", "Volume UUID", "Marker file",
                           "Initialized", "Host", "fstab pin", "NVMe space", "Internal"}));
    EXPECT_TRUE(full.rows.at(3).monospace);
    EXPECT_EQ(full.rows.at(8).value, "700 GB free / 1000 GB total");
    EXPECT_EQ(full.rows.at(9).value, "41 GB free / 494 GB total");

    info.marker_ok = false;
    info.total_gb = 0;
    info.device = "/dev/sdb1";
    info.fstab_pin = true;
    const NVMeInspection partial = NVMeInspection::from(info);
    EXPECT_EQ(labels(partial),
              QStringList({"Mount path", "Mounted", "Filesystem", "Device", "Volume UUID",
                           "Marker file", "fstab pin", "Internal"}));
    EXPECT_EQ(partial.rows.at(5).value, "Missing");
    EXPECT_EQ(partial.rows.at(6).value, "Active");
}
