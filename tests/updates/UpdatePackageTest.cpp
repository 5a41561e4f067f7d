// Downloaded updates unpacked by the real tar beside an install folder and checked as builds.
#include "support/CommandRun.h"
#include "support/TempHome.h"

#include "updates/FileSha256.h"
#include "updates/UpdatePackage.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace quindle;

namespace {

// A build folder as the release makes it, whose bin/quindle is a script saying `said`.
void writeUnpackedBuild(const QString &folder, const QByteArray &said, int status = 0) {
    for (const QString &file : UpdatePackage::requiredFiles())
        test::writeText(folder + '/' + file, "#!/bin/bash\n");
    const QString program = folder + "/bin/quindle";
    test::writeText(program,
                    "#!/bin/bash\necho '" + said + "'\nexit " + QByteArray::number(status) + "\n");
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
}

} // namespace

class UpdatePackageTest : public test::TempHomeTest {
protected:
    // Packs `top` of the work folder as the release does.
    QString pack(const QString &top, const QStringList &extra = {}) {
        const QString archive = inHome("quindle-update.tar.gz");
        QStringList arguments{"-czf", archive, "-C", inHome("work")};
        arguments << extra << top;
        const test::CommandRun tar = test::runCommand("tar", arguments);
        EXPECT_EQ(tar.status, 0) << tar.err.toStdString();
        return archive;
    }
    std::variant<UpdatePackage::Staged, UpdatePackage::Refused> stage(const QString &archive) {
        return UpdatePackage::stage(archive, install, "2.1.0", std::chrono::seconds(10));
    }
    // Nothing but the install folder and what the test put there is left beside it.
    QStringList leftBeside() const {
        return QDir(inHome("opt"))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    const QString install = inHome("opt/Quindle");
    const QString build = inHome("work/quindle-2.1.0-linux-x86_64");

    void SetUp() override {
        TempHomeTest::SetUp();
        writeUnpackedBuild(install, "Quindle 2.0.0");
    }
};

TEST_F(UpdatePackageTest, AGoodArchiveIsUnpackedBesideTheInstallAndItsChecksumIsSha256sums) {
    writeUnpackedBuild(build, "Quindle 2.1");
    const QString archive = pack("quindle-2.1.0-linux-x86_64");
    const auto staged = stage(archive);
    ASSERT_TRUE(std::holds_alternative<UpdatePackage::Staged>(staged))
        << std::get<UpdatePackage::Refused>(staged).reason.toStdString();
    const auto &[staging, newBuild] = std::get<UpdatePackage::Staged>(staged);
    EXPECT_EQ(QFileInfo(staging).absolutePath(), inHome("opt"));
    EXPECT_TRUE(QFileInfo(staging).fileName().startsWith(".quindle-update-"));
    EXPECT_EQ(newBuild, staging + "/quindle-2.1.0-linux-x86_64");

    const test::CommandRun sum = test::runCommand("sha256sum", {archive});
    EXPECT_EQ(sha256Hex(archive), sum.out.section(' ', 0, 0));
    EXPECT_EQ(sha256Hex(inHome("missing")), std::nullopt);
}

TEST_F(UpdatePackageTest, EveryBadArchiveIsRefusedWithItsReasonAndLeavesNothingBehind) {
    const auto refusal = [&](const QString &archive) {
        const auto result = stage(archive);
        EXPECT_EQ(leftBeside(), QStringList{"Quindle"});
        return std::holds_alternative<UpdatePackage::Refused>(result)
                   ? std::get<UpdatePackage::Refused>(result).reason
                   : QString("accepted");
    };
    test::writeText(inHome("not-gzip.tar.gz"), "<html>Not found</html>");
    EXPECT_EQ(refusal(inHome("not-gzip.tar.gz")),
              "The archive could not be unpacked (tar exit 2).");

    writeUnpackedBuild(build, "Quindle 2.1.0");
    // A member that climbs out of the staging folder.
    EXPECT_EQ(refusal(pack("quindle-2.1.0-linux-x86_64",
                           {"-P", "--transform", "s,^quindle,../quindle,"})),
              "The archive could not be unpacked (tar exit 2).");

    QFile::remove(build + "/bin/quindle");
    EXPECT_EQ(refusal(pack("quindle-2.1.0-linux-x86_64")), "The archive holds no Quindle build.");

    writeUnpackedBuild(build, "Quindle 2.1.0");
    QFile::remove(build + "/Resources/Legal/DISCLAIMER.md");
    EXPECT_EQ(refusal(pack("quindle-2.1.0-linux-x86_64")),
              "The new build is missing Resources/Legal/DISCLAIMER.md.");

    writeUnpackedBuild(build, "Quindle 2.1.0");
    QFile::link("/etc/passwd", build + "/bin/helper");
    EXPECT_EQ(refusal(pack("quindle-2.1.0-linux-x86_64")),
              "The archive holds a link or special file that leaves the install folder: "
              "quindle-2.1.0-linux-x86_64/bin/helper.");
    QFile::remove(build + "/bin/helper");
    ASSERT_EQ(test::runCommand("mkfifo", {build + "/pipe"}).status, 0);
    EXPECT_TRUE(refusal(pack("quindle-2.1.0-linux-x86_64"))
                    .endsWith("install folder: quindle-2.1.0-linux-x86_64/pipe."));
    QFile::remove(build + "/pipe");

    writeUnpackedBuild(build, "cannot load libQt6Core.so.6", 127);
    EXPECT_EQ(refusal(pack("quindle-2.1.0-linux-x86_64")),
              "The new build did not start: cannot load libQt6Core.so.6.");
    writeUnpackedBuild(build, "Quindle 2.0.9");
    EXPECT_EQ(refusal(pack("quindle-2.1.0-linux-x86_64")),
              "The new build reports version 2.0.9, but the manifest offers 2.1.0.");
    EXPECT_EQ(UpdatePackage::Refused{"The archive holds no Quindle build."}.message(),
              "The package check failed on the downloaded file. The archive holds no Quindle "
              "build. Try again, or use 'Open download in browser' to grab a fresh copy.");
}
