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
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("Usage: quindle ")))
            << arguments.join(' ').toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
}

TEST_F(StorageCommand, ScanPrintsTabSeparatedRowsThenTheCompleteLine) {
    test::writeText(inHome("Docs/a.txt"), QByteArray(2 * 1024 * 1024, 'a'));
    test::writeText(inHome(".profile"), "small");
    const CommandRun result = run({QStringLiteral("scan")});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3) << result.out.toStdString();
    EXPECT_TRUE(lines.takeLast().startsWith(QStringLiteral("Scan complete · ")));
    qint64 sum = 0;
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 4) << line.toStdString();
        sum += fields.at(0).toLongLong();
        EXPECT_TRUE(fields.at(1) == QLatin1String("-") || fields.at(1) == "ACTIONABLE");
    }
    EXPECT_TRUE(result.out.contains("\t-\tDocs\t" + inHome("Docs") + "\n"));
    EXPECT_GT(sum, 2 * 1024 * 1024);
}

TEST_F(StorageCommand, RefusalsAndAbsentThingsAreSaidInASentence) {
    CommandRun result = run({QStringLiteral("move-dir"), QStringLiteral("/usr")});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.trimmed().endsWith(QLatin1Char('.'))) << result.out.toStdString();
    result = run({QStringLiteral("cloud-roots")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, QStringLiteral("No cloud folder is mounted.\n"));
    result = run({QStringLiteral("optimize-cloud"), home()});
    EXPECT_EQ(result.status, 1);
    result = run({QStringLiteral("backups"), QStringLiteral("list")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, QStringLiteral("Connect the NVMe to see its backups.\n"));
}

TEST_F(StorageCommand, FreeSpaceEndsWithItsHeadlineAndARefusedRunWithNone) {
    ASSERT_EQ(ServiceSandbox::prepareDrive(drive), 0);
    CommandRun result = run({QStringLiteral("free-space")});
    ASSERT_EQ(result.status, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.out.endsWith(QStringLiteral("Already optimized — nothing to clean up.\n")))
        << result.out.toStdString();
    ASSERT_EQ(ServiceSandbox::run({QStringLiteral("pause")}), 0);
    result = run({QStringLiteral("free-space")});
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(result.out.contains(QStringLiteral("Already optimized")));
}

TEST_F(StorageCommand, BackupsAreMadeListedAndRestoredButNotUnderARunningApplication) {
    ASSERT_EQ(ServiceSandbox::prepareDrive(drive), 0);
    ASSERT_EQ(ServiceSandbox::run({QStringLiteral("watch"), QStringLiteral("--once")}), 0);
    CommandRun result = run({QStringLiteral("backups"), QStringLiteral("now")});
    ASSERT_EQ(result.status, 0) << result.out.toStdString();
    EXPECT_TRUE(result.out.startsWith(QStringLiteral("Backed up the configuration and state")));
    result = run({QStringLiteral("backups"), QStringLiteral("list")});
    ASSERT_EQ(result.status, 0);
    const QStringList fields = result.out.trimmed().split(QLatin1Char('\t'));
    ASSERT_EQ(fields.size(), 4) << result.out.toStdString();
    EXPECT_EQ(fields.at(1), QStringLiteral("Test Box"));
    const QString folder = QFileInfo(fields.at(3)).fileName();

    {
        QLockFile application(paths::engineLockFile());
        ASSERT_TRUE(application.tryLock());
        result = run({QStringLiteral("backups"), QStringLiteral("restore"), folder});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(QDir(paths::quindleDirectory())
                        .entryList({QStringLiteral("*.pre-restore-*")}, QDir::AllEntries)
                        .isEmpty());
    }
    result = run({QStringLiteral("backups"), QStringLiteral("restore"), QStringLiteral("nope")});
    EXPECT_EQ(result.status, 1);
    result = run({QStringLiteral("backups"), QStringLiteral("restore"), folder});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.startsWith(QStringLiteral("Restored from ")))
        << result.out.toStdString();
    EXPECT_TRUE(QFileInfo(paths::stateDirectory()).isDir());
    EXPECT_EQ(QDir(paths::quindleDirectory())
                  .entryList({QStringLiteral("state.pre-restore-*")}, QDir::Dirs)
                  .size(),
              1);
}

TEST_F(StorageCommand, BeforeTheServiceIsInstalledEachCommandSaysHowToInstallIt) {
    ASSERT_TRUE(QFile::remove(paths::serviceScript()));
    for (const QString &command : {"scan", "move-dir", "free-space", "cloud-roots", "backups"}) {
        const CommandRun result = run({command, QStringLiteral("list")});
        EXPECT_EQ(result.status, 1) << command.toStdString();
        EXPECT_TRUE(result.err.contains("quindle service install")) << result.err.toStdString();
    }
}
