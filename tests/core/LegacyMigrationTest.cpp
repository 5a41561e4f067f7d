#include "core/LegacyMigration.h"
#include "core/StatePaths.h"
#include "platform/ServiceLocations.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFileInfo>

using namespace quindle;
using test::readText;
using test::writeText;

class LegacyMigration : public test::TempHomeTest {
protected:
    std::optional<QString> migrate() {
        return migrateLegacyFolder([this](const QString &line) { log << line; },
                                   [this](const QString &agent) { unloaded << agent; });
    }
    QStringList log;
    QStringList unloaded;
};

TEST_F(LegacyMigration, MovesTheFolderRenamesFilesAndRetiresAgentsInOrder) {
    writeText(inHome(".tarnel/drivewarden.conf"), "NVMe=/x\n");
    writeText(inHome(".tarnel/drivewarden.sh"), "#!/bin/bash\n");
    writeText(inHome(".tarnel/state/status.json"), "{}");
    const QStringList agents = platform::predecessorAgentFiles();
    writeText(agents.at(2), "sentry");
    writeText(agents.at(0), "warden");

    ASSERT_EQ(migrate(), std::nullopt);

    EXPECT_FALSE(QFileInfo::exists(inHome(".tarnel")));
    EXPECT_EQ(readText(inHome(".quindle/quindle.conf")), "NVMe=/x\n");
    EXPECT_TRUE(QFileInfo::exists(inHome(".quindle/quindle.sh")));
    EXPECT_FALSE(QFileInfo::exists(inHome(".quindle/drivewarden.sh")));
    EXPECT_TRUE(QFileInfo::exists(inHome(".quindle/state/status.json")));
    EXPECT_EQ(unloaded, QStringList({agents.at(0), agents.at(2)}));
    EXPECT_FALSE(QFileInfo::exists(agents.at(0)));
    EXPECT_FALSE(QFileInfo::exists(agents.at(2)));
    EXPECT_EQ(log, QStringList({"Migrating legacy ~/.tarnel → ~/.quindle",
                                "  unloaded legacy: com.tarnel.drivewarden.service",
                                "  unloaded legacy: com.tarnel.drivesentry.service"}));
}

TEST_F(LegacyMigration, LeavesEverythingAloneWhenBothFoldersExist) {
    writeText(inHome(".tarnel/drivewarden.conf"), "old");
    writeText(inHome(".quindle/quindle.conf"), "new");
    writeText(platform::predecessorAgentFiles().first(), "warden");

    ASSERT_EQ(migrate(), std::nullopt);

    EXPECT_EQ(readText(inHome(".tarnel/drivewarden.conf")), "old");
    EXPECT_EQ(readText(inHome(".quindle/quindle.conf")), "new");
    EXPECT_TRUE(QFileInfo::exists(platform::predecessorAgentFiles().first()));
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(unloaded.isEmpty());
}

TEST_F(LegacyMigration, NeverOverwritesAFileThatAlreadyHasTheNewName) {
    writeText(inHome(".tarnel/drivewarden.conf"), "old");
    writeText(inHome(".tarnel/quindle.conf"), "new");
    writeText(inHome(".tarnel/drivewarden.log"), "log");

    ASSERT_EQ(migrate(), std::nullopt);

    EXPECT_EQ(readText(inHome(".quindle/drivewarden.conf")), "old");
    EXPECT_EQ(readText(inHome(".quindle/quindle.conf")), "new");
    EXPECT_EQ(readText(inHome(".quindle/quindle.log")), "log");
}

TEST_F(LegacyMigration, NothingToDoOnACleanAccount) {
    ASSERT_EQ(migrate(), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(inHome(".quindle")));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(LegacyMigration, StatePathsAreBuiltFromTheCurrentHome) {
    EXPECT_EQ(paths::statusFile(), home() + "/.quindle/state/status.json");
    EXPECT_EQ(paths::engineLockFile(), home() + "/.quindle/state/engine.lock");
    setEnv("HOME", inHome("other"));
    EXPECT_EQ(paths::folderMovesDirectory(), home() + "/other/.quindle/state/folder-moves");
    EXPECT_EQ(paths::shimFile(), home() + "/other/.local/bin/qndl");
}
