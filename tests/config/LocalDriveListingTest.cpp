#include "insight/LocalDriveListing.h"
#include "core/DriveIdentity.h"
#include "platform/BlockDevices.h"
#include "support/TempHome.h"

#include <QDir>
#include <QHash>

using namespace quindle;
using platform::BlockDevice;
using platform::DiskSpace;
using platform::MountEntry;

class LocalListing : public test::TempHomeTest {};

TEST_F(LocalListing, OffersExternalMountsOnlyAndFillsEveryField) {
    const QString root = inHome("media");
    const auto under = [&](const char *name) { return root + u'/' + QLatin1String(name); };
    const struct {
        QString target, source;
        std::optional<BlockDevice> device;
    } table[] = {
        {"/", "/dev/vda1", BlockDevice{"vda", "", false, false}},
        {home(), "/dev/nvme0n1p2", BlockDevice{"nvme0n1", "nvme", false, false}},
        {under("USB Stick"), "/dev/sdz1", BlockDevice{"sdz", "usb", true, false}},
        {under(".hidden"), "/dev/sdz2", BlockDevice{"sdz", "usb", true, false}},
        {under("Time Machine Backups"), "/dev/sdz3", BlockDevice{"sdz", "usb", true, false}},
        {under("old.sparsebundle"), "/dev/sdz4", BlockDevice{"sdz", "usb", true, false}},
        {under("Home Twin"), "/dev/nvme0n1p2", BlockDevice{"nvme0n1", "nvme", false, false}},
        // Some laptops report their internal disk as hot-pluggable.
        {under("Other Part"), "/dev/nvme0n1p3", BlockDevice{"nvme0n1", "nvme", false, true}},
        {under("Internal Data"), "/dev/sda1", BlockDevice{"sda", "sata", false, false}},
        {under("Share"), "server:/export", std::nullopt},
        {"/mnt/card", "/dev/mmcblk9p1", BlockDevice{"mmcblk9", "mmc", false, true}},
        {"/mnt/fixed", "/dev/sdy1", BlockDevice{"sdy", "sata", false, false}},
    };
    QList<MountEntry> mounts;
    QHash<QString, BlockDevice> devices;
    for (const auto &m : table) {
        if (m.target.startsWith(root))
            QDir().mkpath(m.target);
        mounts << MountEntry{m.target, m.source, "ext4", "1234-ABCD"};
        if (m.device)
            devices.insert(m.source, *m.device);
    }
    QDir().mkpath(under("Leftover")); // a folder, not a mount
    DriveProbe probe;
    probe.mountTable = [&] { return std::optional(mounts); };
    probe.blockDevice = [&](const QString &device) -> std::optional<BlockDevice> {
        return devices.contains(device) ? std::optional(devices.value(device)) : std::nullopt;
    };
    probe.diskSpace = [&](const QString &path) -> std::optional<DiskSpace> {
        return path == under("USB Stick") ? std::optional(DiskSpace{61000, 59000}) : std::nullopt;
    };
    test::writeText(markerFile(under("USB Stick")), "volume_uuid=1234-ABCD\n");

    const QList<Drive> drives =
        LocalDriveListing::list(root + u'/', home(), under("USB Stick") + u'/', probe);
    ASSERT_EQ(drives.size(), 3);
    // Nothing tells what lies behind a network share, so it is not taken for internal.
    EXPECT_EQ(drives.at(0), (Drive{"Share", under("Share"), "ext4", "Unknown", "Unknown", "Unknown",
                                   "", "1234-ABCD", 0, 0, false, false}));
    EXPECT_EQ(drives.at(1),
              (Drive{"USB Stick", under("USB Stick"), "ext4", "usb", "Removable", "External",
                     "/dev/sdz1", "1234-ABCD", 59000, 61000, true, true}));
    EXPECT_EQ(drives.at(2).name, "card");
    EXPECT_EQ(drives.at(2).removable, "Fixed");
    EXPECT_EQ(drives.at(2).location, "External");
}

TEST(BlockDevices, ParseWhatTheToolsPrintAndAskTheSystem) {
    EXPECT_EQ(platform::parseMountTable(R"({"filesystems": [
        {"target": "/run/media/u/My Stick", "source": "/dev/sdb1", "fstype": "vfat", "uuid": "0000-0000"},
        {"target": "/proc", "source": "proc", "fstype": "proc", "uuid": null},
        {"source": "no target"}]})"),
              (QList<MountEntry>{{"/run/media/u/My Stick", "/dev/sdb1", "vfat", ""},
                                 {"/proc", "proc", "proc", ""}}));
    // util-linux 2.38 writes booleans; older releases wrote "0"/"1".
    EXPECT_EQ(platform::parseBlockDevice(R"({"blockdevices": [
        {"name": "sdb1", "pkname": "sdb", "tran": null, "rm": true, "hotplug": false}]})"),
              (BlockDevice{"sdb", "", true, false}));
    EXPECT_EQ(platform::parseBlockDevice(R"({"blockdevices": [
        {"name": "sdc", "pkname": null, "tran": "usb", "rm": "0", "hotplug": "1"}]})"),
              (BlockDevice{"sdc", "usb", false, true}));
    EXPECT_EQ(platform::parseDiskSpace("Filesystem 1M-blocks Used Available Capacity Mounted on\n"
                                       "/dev/sdb1 953868 20 953848 1% /run/media/u/My Stick\n"),
              (DiskSpace{953868, 953848}));
    EXPECT_EQ(platform::parseDiskSpace("df: /x: No such file or directory\n"), std::nullopt);

    const std::optional<QList<MountEntry>> mounts = platform::mountTable();
    ASSERT_TRUE(mounts.has_value());
    EXPECT_TRUE(std::any_of(mounts->cbegin(), mounts->cend(),
                            [](const MountEntry &m) { return m.target == "/"; }));
    EXPECT_GT(platform::diskSpace(QDir::tempPath()).value_or(DiskSpace{}).totalMB, 0);
}
