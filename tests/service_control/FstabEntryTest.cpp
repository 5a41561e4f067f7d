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

namespace {

const QDateTime kNow = QDateTime(QDate(2024, 5, 1), QTime(12, 34, 56), Qt::UTC);

FstabEntry::Result await(const QFuture<FstabEntry::Result> &future) {
    EXPECT_TRUE(test::waitUntil([&] { return future.isFinished(); }, 20000));
    return future.result();
}

} // namespace

TEST(FstabDetection, OnlyLiveLinesWithANeedleCount) {
    const QStringList needles{QStringLiteral("/media/u/NVMe")};
    EXPECT_FALSE(FstabEntry::hasProblematicEntry("# UUID=1 /media/u/NVMe ext4\n", needles));
    EXPECT_FALSE(FstabEntry::hasProblematicEntry("  \t# UUID=1 /media/u/NVMe\n\n", needles));
    EXPECT_TRUE(FstabEntry::hasProblematicEntry("\tUUID=1 /media/u/NVMe2 ext4 0 0\n", needles));
    EXPECT_FALSE(FstabEntry::hasProblematicEntry("UUID=1 /srv ext4\n", needles));
    EXPECT_TRUE(FstabEntry::hasProblematicEntry(
        "UUID=1 /srv ext4\nLABEL=x /mnt/other xfs\n",
        {QStringLiteral("/media/u/NVMe"), QStringLiteral("/mnt/other")}));
}

TEST(FstabRemoval, NeedlesThatCouldLeaveTheirQuotingAreRefused) {
    for (const char *needle :
         {"/media/u/a'b", "/media/u/a\nb", "/media/u/$(reboot)", "/media/u/`id`", "/media/u/a;b",
          "/media/u/a\\b", "/media/u/a\"b", "/media/u/*", "/media/u/[ab]", "/media/u/a|b",
          "/media/u/a&b", "/media/u/a>b", ""}) {
        EXPECT_EQ(FstabEntry::removalCommand({"/media/u/NVMe", QString::fromUtf8(needle)}, kNow,
                                             "/etc/fstab"),
                  std::nullopt)
            << needle;
    }
}

class FstabRemovalRun : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        calls = fakes.directory() + QStringLiteral("/calls");
        fstab = inHome(QStringLiteral("etc/fstab"));
        QDir().mkpath(inHome(QStringLiteral("etc")));
        fakes.putFirstOnPath();
    }
    // pkexec that records its arguments, then behaves as `body` says.
    void fakePkexec(const QByteArray &body) {
        fakes.add(QStringLiteral("pkexec"),
                  "printf '%s\\0' \"$@\" >>'" + calls.toUtf8() + "'\n" + body);
    }
    void currentDrive(const QString &path) {
        writeText(paths::statusFile(), QJsonDocument(QJsonObject{{"nvme_path", path}}).toJson());
    }

    test::FakeExecutables fakes;
    QString calls;
    QString fstab;
};

TEST_F(FstabRemovalRun, RemovesTheLinesAndKeepsABackup) {
    fakePkexec("shift 2; exec /bin/sh -c \"$1\"");
    currentDrive(QStringLiteral("/mnt/Drive.v2"));
    const QByteArray before = "UUID=1 / ext4 defaults 0 1\n"
                              "UUID=2 " +
                              platform::defaultNVMePath().toUtf8() +
                              " ext4 0 2\n"
                              "UUID=3 /mnt/Drive.v2 ext4 0 2\n"
                              "UUID=4 /mnt/DriveXv2 ext4 0 2\n";
    writeText(fstab, before);
    const FstabEntry::Result result = await(FstabEntry::remove(fstab));
    EXPECT_TRUE(result.ok) << result.message.value_or("").toStdString();
    EXPECT_EQ(readText(fstab), "UUID=1 / ext4 defaults 0 1\nUUID=4 /mnt/DriveXv2 ext4 0 2\n");
    const QStringList backups =
        QDir(inHome(QStringLiteral("etc"))).entryList({"fstab.quindle-backup-*"}, QDir::Files);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(readText(inHome(QStringLiteral("etc/")) + backups.first()), before);

    // Nothing left to remove: no password prompt at all.
    QFile::remove(calls);
    EXPECT_TRUE(await(FstabEntry::remove(fstab)).ok);
    EXPECT_FALSE(QFile::exists(calls));
}

TEST_F(FstabRemovalRun, HostileDrivePathNeverReachesThePrivilegedShell) {
    fakePkexec("exit 0");
    const QString hostile = QStringLiteral("/mnt/x'; touch /tmp/owned; '");
    currentDrive(hostile);
    writeText(fstab, "UUID=3 " + hostile.toUtf8() + " ext4 0 2\n");
    const FstabEntry::Result result = await(FstabEntry::remove(fstab));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, QStringLiteral("Could not construct the administrator command."));
    EXPECT_FALSE(QFile::exists(calls));
}

TEST_F(FstabRemovalRun, CancelledAndRefusedPrompts) {
    writeText(fstab, "UUID=2 " + platform::defaultNVMePath().toUtf8() + " ext4 0 2\n");
    fakePkexec("exit 126");
    EXPECT_EQ(await(FstabEntry::remove(fstab)).message, QStringLiteral("Cancelled."));
    fakePkexec("echo 'Error executing command as another user: Not authorized'; exit 127");
    const FstabEntry::Result refused = await(FstabEntry::remove(fstab));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message,
              QStringLiteral("Error executing command as another user: Not authorized"));
    const QList<QByteArray> args = readText(calls).split('\0');
    ASSERT_GE(args.size(), 3);
    EXPECT_EQ(args[0], "/bin/sh");
    EXPECT_EQ(args[1], "-c");
}
