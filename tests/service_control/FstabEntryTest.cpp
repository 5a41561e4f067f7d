#include "core/FstabEntry.h"
#include "core/StatePaths.h"
#include "platform/VolumeLocations.h"
#include "support/FakeExecutables.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

using namespace quindle;
using test::readText;
using test::writeText;

TEST(FstabEntryRules, OnlyLiveLinesCountAndNeedlesThatCouldLeaveTheirQuotingAreRefused) {
    const QStringList needles{"/media/u/NVMe", "/mnt/other"};
    EXPECT_FALSE(FstabEntry::hasProblematicEntry("# UUID=1 /media/u/NVMe ext4\n", needles));
    EXPECT_FALSE(FstabEntry::hasProblematicEntry("  \t# UUID=1 /media/u/NVMe\n\n", needles));
    EXPECT_FALSE(FstabEntry::hasProblematicEntry("UUID=1 /srv ext4\n", needles));
    EXPECT_TRUE(FstabEntry::hasProblematicEntry("\tUUID=1 /media/u/NVMe2 ext4 0 0\n", needles));
    EXPECT_TRUE(
        FstabEntry::hasProblematicEntry("UUID=1 /srv ext4\nLABEL=x /mnt/other xfs\n", needles));
    // The table writes space, tab and backslash as octal escapes.
    for (const char *line : {"UUID=1 /media/u/My\\040Drive ext4", "UUID=1 /media/u/a\\011b ext4",
                             "UUID=1 /media/u/a\\134b ext4", "UUID=1\t/media/u/My Drive"})
        EXPECT_TRUE(FstabEntry::hasProblematicEntry(
            line, {"/media/u/My Drive", "/media/u/a\tb", "/media/u/a\\b"}))
            << line;
    EXPECT_FALSE(
        FstabEntry::hasProblematicEntry("UUID=1 /media/u/My\\040Drive2x", {"/media/u/My Drivex"}));
    // A table that is missing or not a file has no entry.
    EXPECT_FALSE(FstabEntry::hasProblematicEntry("/nonexistent/fstab"));
    EXPECT_FALSE(FstabEntry::hasProblematicEntry(QDir::tempPath()));

    const QDateTime now(QDate(2024, 5, 1), QTime(12, 34, 56), Qt::UTC);
    for (const char *needle :
         {"/media/u/a'b", "/media/u/a\nb", "/media/u/$(reboot)", "/media/u/`id`", "/media/u/a;b",
          "/media/u/a\\b", "/media/u/a\"b", "/media/u/*", "/media/u/[ab]", "/media/u/a|b",
          "/media/u/a&b", "/media/u/a>b", ""})
        EXPECT_EQ(FstabEntry::removalCommand({"/media/u/NVMe", needle}, now, "/etc/fstab"),
                  std::nullopt)
            << needle;
}

// pkexec stands in for the password prompt: it records its arguments, then does as it is told.
class FstabRemoval : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        QDir().mkpath(inHome("etc"));
        fakes.putFirstOnPath();
    }
    void fakePkexec(const QByteArray &body) {
        fakes.add("pkexec", "printf '%s\\0' \"$@\" >>'" + calls.toUtf8() + "'\n" + body);
    }
    void currentDrive(const QString &path) {
        writeText(paths::statusFile(), QJsonDocument(QJsonObject{{"nvme_path", path}}).toJson());
    }
    FstabEntry::Result remove() {
        const QFuture<FstabEntry::Result> done = FstabEntry::remove(fstab);
        EXPECT_TRUE(test::waitUntil([&] { return done.isFinished(); }, 20000));
        return done.result();
    }

    test::FakeExecutables fakes;
    const QString calls = fakes.directory() + "/calls";
    const QString fstab = inHome("etc/fstab");
};

TEST_F(FstabRemoval, RemovesOnlyTheDrivesLinesKeepsABackupAndAsksNothingWhenNoneIsLeft) {
    fakePkexec("shift 2; exec /bin/sh -c \"$1\"");
    currentDrive("/mnt/Drive.v2");
    const QByteArray before =
        "UUID=1 / ext4 defaults 0 1\nUUID=2 " + platform::defaultNVMePath().toUtf8() +
        " ext4 0 2\nUUID=3 /mnt/Drive.v2 ext4 0 2\nUUID=4 /mnt/DriveXv2 ext4 0 2\n";
    writeText(fstab, before);
    const FstabEntry::Result result = remove();
    EXPECT_TRUE(result.ok) << result.message.value_or("").toStdString();
    EXPECT_EQ(readText(fstab), "UUID=1 / ext4 defaults 0 1\nUUID=4 /mnt/DriveXv2 ext4 0 2\n");

    const QStringList backups = QDir(inHome("etc")).entryList({"fstab.quindle-backup-*"});
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(readText(inHome("etc/") + backups.first()), before);

    QFile::remove(calls);
    EXPECT_TRUE(remove().ok);
    EXPECT_FALSE(QFile::exists(calls));

    // A drive path with a space, as the table writes it; the same name without it stays.
    currentDrive("/mnt/My Drive");
    writeText(fstab, "UUID=5 /mnt/My\\040Drive ext4 0 2\nUUID=6 /mnt/MyDrive ext4 0 2\n");
    EXPECT_TRUE(remove().ok);
    EXPECT_EQ(readText(fstab), "UUID=6 /mnt/MyDrive ext4 0 2\n");
}

TEST_F(FstabRemoval, ACancelOrRefusalFailsAndAHostileDrivePathNeverReachesThePrompt) {
    writeText(fstab, "UUID=2 " + platform::defaultNVMePath().toUtf8() + " ext4 0 2\n");
    fakePkexec("exit 126");
    EXPECT_EQ(remove().message, "Cancelled.");
    fakePkexec("echo 'Error executing command as another user: Not authorized'; exit 127");
    const FstabEntry::Result refused = remove();
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message, "Error executing command as another user: Not authorized");
    EXPECT_TRUE(readText(calls).startsWith(QByteArray("/bin/sh\0-c\0", 11)));

    QFile::remove(calls);
    fakePkexec("exit 0");
    const QString hostile = "/mnt/x'; touch /tmp/owned; '";
    currentDrive(hostile);
    writeText(fstab, "UUID=3 " + hostile.toUtf8() + " ext4 0 2\n");
    EXPECT_EQ(remove().message, "Could not construct the administrator command.");
    EXPECT_FALSE(QFile::exists(calls));
}
