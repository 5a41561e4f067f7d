#include "platform/InstallHints.h"

#include <gtest/gtest.h>

using namespace quindle::platform;

TEST(InstallHints, PicksTheDistributionsCommandFromOsRelease) {
    const struct {
        const char *osRelease;
        const char *expected;
    } cases[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n", "sudo apt install rsync"},
        {"ID=linuxmint\nID_LIKE=\"ubuntu debian\"\n", "sudo apt install rsync"},
        {"ID=\"fedora\"\n", "sudo dnf install rsync"},
        {"ID=rocky\nID_LIKE=\"rhel centos fedora\"\n", "sudo dnf install rsync"},
        {"ID=endeavouros\nID_LIKE=arch\n", "sudo pacman -S rsync"},
        {"ID=\"opensuse-tumbleweed\"\nID_LIKE=\"opensuse suse\"\n", "sudo zypper install rsync"},
        {"ID=nixos\n", ""},
        {"", ""},
        // Another key ending in ID must not be mistaken for the distribution.
        {"VERSION_ID=\"debian\"\nID=gentoo\n", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(installCommandFor(QString::fromUtf8(c.osRelease), "rsync"),
                  QString::fromUtf8(c.expected))
            << c.osRelease;
}

TEST(InstallHints, SentencesNeverNameAForeignPackageManager) {
    const QString via = viaPackageManager("rsync");
    const QString run = runInstallInTerminal("rsync");
    EXPECT_TRUE(via.startsWith("your package manager"));
    EXPECT_TRUE(run.contains("rsync"));
    for (const QString &text : {via, run})
        EXPECT_FALSE(text.contains("brew", Qt::CaseInsensitive)) << text.toStdString();
}
