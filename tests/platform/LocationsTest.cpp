#include "platform/HomeDirectory.h"
#include "platform/MachineFingerprint.h"
#include "platform/ProgramLocations.h"
#include "platform/ServiceLocations.h"
#include "platform/ServiceManagerKind.h"
#include "platform/VolumeLocations.h"
#include "support/TempHome.h"

#include <QFileInfo>

using namespace quindle::platform;
using quindle::test::TempHomeTest;

class Locations : public TempHomeTest {};

TEST_F(Locations, FollowHomeAndXdgAtTheMomentOfUse) {
    EXPECT_EQ(homePath(), home());
    EXPECT_EQ(serviceUnitFile(), home() + "/.config/systemd/user/quindle-service.service");
    EXPECT_EQ(autostartDirectory(), home() + "/.config/autostart");

    setEnv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(userConfigPath(), home() + "/.config");
    setEnv("HOME", "/elsewhere/");
    EXPECT_EQ(homePath(), "/elsewhere");
    EXPECT_EQ(userDataPath(), home() + "/.local/share"); // XDG_DATA_HOME still set
}

TEST_F(Locations, UserNameFallsBackToThePasswordDatabase) {
    qunsetenv("USER");
    EXPECT_FALSE(userName().isEmpty());
    setEnv("USER", "someone");
    EXPECT_EQ(userName(), "someone");
    EXPECT_TRUE(volumesRoot().endsWith("/someone"));
    EXPECT_EQ(defaultNVMePath(), volumesRoot() + "/NVMe");
}

TEST_F(Locations, RsyncCandidatesCanBeReplaced) {
    EXPECT_EQ(rsyncCandidates(), QStringList({"/usr/local/bin/rsync", "/usr/bin/rsync"}));
    setEnv("QUINDLE_RSYNC", "/a/rsync::/b/rsync");
    EXPECT_EQ(rsyncCandidates(), QStringList({"/a/rsync", "/b/rsync"}));
}

TEST_F(Locations, ServiceManagerCanBeForced) {
    setEnv("QUINDLE_SERVICE_MANAGER", "detached");
    EXPECT_EQ(detectServiceManager(), ServiceManagerKind::Detached);
    setEnv("QUINDLE_SERVICE_MANAGER", "systemd");
    EXPECT_EQ(detectServiceManager(), ServiceManagerKind::SystemdUser);
}

TEST_F(Locations, MachineUUIDIsTheMachineIdWrittenAsAUUID) {
    const auto uuidOf = [&](const QByteArray &content) {
        quindle::test::writeText(inHome("machine-id"), content);
        return machineUUID(inHome("machine-id"));
    };
    EXPECT_EQ(uuidOf("0123456789abcdef0123456789ABCDEF\n"), "01234567-89AB-CDEF-0123-456789ABCDEF");
    EXPECT_EQ(uuidOf("0123456789abcdef0123456789abcde\n"), std::nullopt);   // 31 digits
    EXPECT_EQ(uuidOf("0123456789abcdef0123456789abcdef0\n"), std::nullopt); // 33
    EXPECT_EQ(uuidOf("0123456789abcdef0123456789abcdeg\n"), std::nullopt);
    EXPECT_EQ(uuidOf("uninitialized\n"), std::nullopt);
    EXPECT_EQ(uuidOf(QByteArray(32, '0') + "\n"), std::nullopt); // not set up yet
    EXPECT_EQ(machineUUID(inHome("absent")), std::nullopt);
}
