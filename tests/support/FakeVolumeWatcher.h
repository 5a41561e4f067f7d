#pragma once

#include "platform/VolumeWatcher.h"

namespace quindle::test {

// Stands in for the mount table: a test unplugs a "drive" by removing its folder and firing.
class FakeVolumeWatcher : public platform::VolumeWatcher {
    Q_OBJECT
public:
    using VolumeWatcher::VolumeWatcher;
    void fireMounted(const QString &mountPoint) { Q_EMIT volumeMounted(mountPoint); }
    void fireUnmounted(const QString &mountPoint) { Q_EMIT volumeUnmounted(mountPoint); }
};

} // namespace quindle::test
