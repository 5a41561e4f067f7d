#include "core/AppsRoots.h"
#include "core/StatePaths.h"
#include "support/TempHome.h"

#include <QDir>

using namespace quindle;

class AppsRootsTest : public test::TempHomeTest {};

TEST_F(AppsRootsTest, TheFirstRootReachesTheServiceAndTheRestOfItsFileStaysAsItWas) {
    setEnv("QUINDLE_APPS_ROOT", QString());
    const QString first = inHome("Tools"), second = inHome("opt");
    EXPECT_FALSE(AppsRoots::save({first, second})) << "no configuration yet: nothing to tell";
    EXPECT_FALSE(QFileInfo::exists(paths::configFile()));
    EXPECT_EQ(AppsRoots::current(), (QStringList{first, second}));

    test::writeText(paths::configFile(), "# mine\nNVMe=\"/media/x\"\nAPPS_ROOT=/opt # keep\n");
    EXPECT_FALSE(AppsRoots::save({second + "/", first}));
    EXPECT_EQ(test::readText(paths::configFile()),
              "# mine\nNVMe=\"/media/x\"\nAPPS_ROOT=\"" + second + "\" # keep\n");

    // Back to the defaults: the first of those that exist.
    QDir().mkpath(home() + "/.local/opt");
    EXPECT_FALSE(AppsRoots::save({}));
    EXPECT_EQ(AppsRoots::current(), AppsRoots::defaults());
    EXPECT_TRUE(QString(test::readText(paths::configFile()))
                    .contains("APPS_ROOT=\"" + home() + "/.local/opt\""));
}
