// quindle scan, move-dir, free-space, cloud-roots, optimize-cloud and backups: the real binary
// against the real service scripts.
#include "core/StatePaths.h"
#include "support/CommandRun.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

using namespace quindle;
using test::CommandRun;
using test::ServiceSandbox;

class StorageCommand : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        drive = inHome("drive");
        QDir().mkpath(drive);
        ServiceSandbox::install(drive);
    }
    CommandRun run(const QStringList &arguments) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        return test::runCommand(QStringLiteral(QUINDLE_BINARY), arguments, env, home());
    }
    QString drive;
};

TEST_F(StorageCommand, WrongArgumentsAreUsageErrors) {
    const QList<QStringList> cases{
        {"scan", "extra"},        {"move-dir"},          {"move-dir", "a", "b"},
        {"move-dir", ""},         {"free-space", "now"}, {"cloud-roots", "x"},
        {"optimize-cloud"},       {"backups"},           {"backups", "restore"},
        {"backups", "list", "x"}, {"backups", "delete"}};
    for (const QStringList &arguments : cases) {
        const CommandRun result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.startsWith("Usage: quindle "))
            << arguments.join(' ').toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
}

TEST_F(StorageCommand, ScanPrintsTabSeparatedRowsThenTheCompleteLine) {
    test::writeText(inHome("Docs/a.txt"), QByteArray(2 * 1024 * 1024, 'a'));
    test::writeText(inHome(".profile"), "small");
    const CommandRun result = run({"scan"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3) << result.out.toStdString();
    EXPECT_TRUE(lines.takeLast().startsWith("Scan complete · "));
    qint64 sum = 0;
    for (const QString &line : lines) {
        const QStringList fields = line.split(u'\t');
        ASSERT_EQ(fields.size(), 4) << line.toStdString();
        sum += fields.at(0).toLongLong();
        EXPECT_TRUE(fields.at(1) == "-" || fields.at(1) == "ACTIONABLE");
    }
    EXPECT_TRUE(result.out.contains("\t-\tDocs\t" + inHome("Docs") + "\n"));
    EXPECT_GT(sum, 2 * 1024 * 1024);
}

TEST_F(StorageCommand, RefusalsAndAbsentThingsAreSaidInASentence) {
    CommandRun result = run({"move-dir", "/usr"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.trimmed().endsWith(u'.')) << result.out.toStdString();
    result = run({"cloud-roots"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "No cloud folder is mounted.\n");
    result = run({"optimize-cloud", home()});
    EXPECT_EQ(result.status, 1);
    result = run({"backups", "list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Connect the NVMe to see its backups.\n");
}

TEST_F(StorageCommand, FreeSpaceEndsWithItsHeadlineAndARefusedRunWithNone) {
    ASSERT_EQ(ServiceSandbox::prepareDrive(drive), 0);
    CommandRun result = run({"free-space"});
    ASSERT_EQ(result.status, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.out.endsWith("Already optimized — nothing to clean up.\n"))
        << result.out.toStdString();
    ASSERT_EQ(ServiceSandbox::run({"pause"}), 0);
    result = run({"free-space"});
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(result.out.contains("Already optimized"));
}

TEST_F(StorageCommand, BackupsAreMadeListedAndRestoredButNotUnderARunningApplication) {
    ASSERT_EQ(ServiceSandbox::prepareDrive(drive), 0);
    ASSERT_EQ(ServiceSandbox::run({"watch", "--once"}), 0);
    CommandRun result = run({"backups", "now"});
    ASSERT_EQ(result.status, 0) << result.out.toStdString();
    EXPECT_TRUE(result.out.startsWith("Backed up the configuration and state"));
    result = run({"backups", "list"});
    ASSERT_EQ(result.status, 0);
    const QStringList fields = result.out.trimmed().split(u'\t');
    ASSERT_EQ(fields.size(), 4) << result.out.toStdString();
    EXPECT_EQ(fields.at(1), "Test Box");
    const QString folder = QFileInfo(fields.at(3)).fileName();

    {
        QLockFile application(paths::engineLockFile());
        ASSERT_TRUE(application.tryLock());
        result = run({"backups", "restore", folder});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(QDir(paths::quindleDirectory())
                        .entryList({"*.pre-restore-*"}, QDir::AllEntries)
                        .isEmpty());
    }
    result = run({"backups", "restore", "nope"});
    EXPECT_EQ(result.status, 1);
    result = run({"backups", "restore", folder});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.startsWith("Restored from ")) << result.out.toStdString();
    EXPECT_TRUE(QFileInfo(paths::stateDirectory()).isDir());
    EXPECT_EQ(QDir(paths::quindleDirectory()).entryList({"state.pre-restore-*"}, QDir::Dirs).size(),
              1);
}

TEST_F(StorageCommand, BeforeTheServiceIsInstalledEachCommandSaysHowToInstallIt) {
    ASSERT_TRUE(QFile::remove(paths::serviceScript()));
    for (const char *command : {"scan", "move-dir", "free-space", "cloud-roots", "backups"}) {
        const CommandRun result = run({command, "list"});
        EXPECT_EQ(result.status, 1) << command;
        EXPECT_TRUE(result.err.contains("quindle service install")) << result.err.toStdString();
    }
    // Listing the drives is how setting up begins.
    for (const QStringList &drives : {QStringList{"drives"}, QStringList{"drives", "--local"}})
        EXPECT_EQ(run(drives).status, 0) << drives.join(' ').toStdString();
}
