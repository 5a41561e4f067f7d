// The real mount-table watcher against a real mount, where this machine lets a test mount.
#include "platform/VolumeWatcher.h"

#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

#include <gtest/gtest.h>

using namespace quindle;

TEST(MountTableWatcher, AMountAndItsUnmountAreEachAnnouncedOnceByPath) {
    QTemporaryDir root;
    const QString source = root.path() + "/source";
    const QString point = root.path() + "/mount point with spaces";
    QDir().mkpath(source);
    QDir().mkpath(point);
    platform::MountTableWatcher watcher;
    QStringList mounted, unmounted;
    QObject::connect(&watcher, &platform::VolumeWatcher::volumeMounted,
                     [&](const QString &path) { mounted << path; });
    QObject::connect(&watcher, &platform::VolumeWatcher::volumeUnmounted,
                     [&](const QString &path) { unmounted << path; });
    if (::mount(QFile::encodeName(source).constData(), QFile::encodeName(point).constData(),
                nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "this machine does not let a test mount: " << std::strerror(errno);

    ASSERT_TRUE(test::waitUntil([&] { return !mounted.isEmpty(); }));
    EXPECT_EQ(mounted, QStringList{point}); // the kernel's \040 escapes decoded
    ASSERT_EQ(::umount2(QFile::encodeName(point).constData(), MNT_DETACH), 0);
    ASSERT_TRUE(test::waitUntil([&] { return !unmounted.isEmpty(); }));
    EXPECT_EQ(unmounted, QStringList{point});
    EXPECT_EQ(mounted.size(), 1);
}
