#pragma once

#include "core/DriveIdentity.h"
#include "core/StatePaths.h"
#include "mover/LocalFolderMover.h"
#include "mover/MoverLog.h"
#include "mover/MoverSettings.h"
#include "mover/RsyncSupport.h"
#include "support/FakeExecutables.h"
#include "support/FakeVolumeWatcher.h"
#include "support/TempHome.h"
#include "support/TreeGenerator.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QSet>

namespace quindle::test {

// A mover on a temporary home whose "drive" is a plain folder the service reports as mounted.
class MoverTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        drive = inHome("drive");
        QDir().mkpath(drive);
        writeStatus(drive, "UUID-A");
        prepareStandInDrive(drive, "UUID-A");
        settings =
            std::make_unique<MoverSettings>(); // after HOME moved: it reads the preferences file
        useRsync(QString());
    }
    void TearDown() override {
        mover.reset();
        if (m_rsyncReplaced)
            useRsync(QString());
        TempHomeTest::TearDown();
    }

    void writeStatus(const QString &nvmePath, const QString &uuid) {
        writeText(paths::statusFile(),
                  QStringLiteral(R"({"nvme_path": "%1", "mounted": true, "nvme_uuid": "%2"})")
                      .arg(nvmePath, uuid)
                      .toUtf8());
    }

    // A plain folder counts as the mounted drive: the configuration names it and allows a folder,
    // and it holds the drive's marker.
    void prepareStandInDrive(const QString &path, const QString &uuid) {
        writeText(paths::configFile(),
                  QStringLiteral("NVMe=\"%1\"\nNVME_REQUIRE_MOUNTPOINT=0\n").arg(path).toUtf8());
        writeText(markerFile(path), QStringLiteral("volume_uuid=%1\n").arg(uuid).toUtf8());
    }

    // Empty: the platform's rsync. Otherwise a replacement executable for the rest of the test.
    void useRsync(const QString &executable) {
        if (executable.isEmpty())
            qunsetenv("QUINDLE_RSYNC");
        else
            qputenv("QUINDLE_RSYNC", executable.toLocal8Bit());
        m_rsyncReplaced = !executable.isEmpty();
        QObject context;
        bool done = false;
        RsyncSupport::reprobe(&context, [&] { done = true; });
        ASSERT_TRUE(waitUntil([&] { return done; }));
    }

    // The real rsync, slowed down so a test can act in the middle of a copy.
    QString slowRsync(int kilobytesPerSecond) {
        return fakes.add("slow-rsync",
                         QStringLiteral("[[ $1 == --version ]] && exec /usr/bin/rsync --version\n"
                                        "exec /usr/bin/rsync --bwlimit=%1 \"$@\"")
                             .arg(kilobytesPerSecond)
                             .toUtf8());
    }

    // A mover that has read the manifests on disk.
    LocalFolderMover &makeMover() {
        mover = std::make_unique<LocalFolderMover>(log, *settings, &volumes);
        waitForRecovery();
        return *mover;
    }
    void waitForRecovery() {
        EXPECT_TRUE(waitUntil([&] { return !mover->isRecovering(); }));
    }
    // The mount table reports `mountPoint`, and the mover has looked at its parked moves.
    void mount(const QString &mountPoint) {
        volumes.fireMounted(mountPoint);
        waitForRecovery();
    }

    QUuid enqueue(const QString &src, const QString &dstParent,
                  MoveConflictPolicy policy = MoveConflictPolicy::Merge, bool relocate = false) {
        const qsizetype before = mover->jobs().size();
        mover->enqueue(src, dstParent, policy, relocate);
        return mover->jobs().size() > before ? mover->jobs().last().id() : QUuid();
    }

    MoveJob jobOf(const QUuid &id) const { return mover->job(id).value_or(MoveJob{}); }
    MovePhase phaseOf(const QUuid &id) const { return jobOf(id).manifest.phase; }

    bool waitForPhase(const QUuid &id, MovePhase phase, int timeoutMs = 30000) {
        return waitUntil([&] { return mover->job(id) && phaseOf(id) == phase; }, timeoutMs);
    }
    bool waitUntilTerminal(const QUuid &id, int timeoutMs = 30000) {
        return waitUntil([&] { return mover->job(id) && isTerminal(phaseOf(id)); }, timeoutMs);
    }
    // The move ends done; otherwise the failure names the phase it stopped in and why.
    ::testing::AssertionResult endsDone(const QUuid &id, int timeoutMs = 30000) {
        if (waitUntilTerminal(id, timeoutMs) && phaseOf(id) == MovePhase::Done)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << rawValue(phaseOf(id)).toStdString() << ": "
               << jobOf(id).manifest.lastError.value_or(QString()).toStdString();
    }

    // Every log text of one job and source kind.
    QStringList logTexts(const QUuid &id, MoverLogLine::Source source) const {
        QStringList texts;
        for (const MoverLogLine &line : log.lines())
            if (line.jobID == id && line.source == source)
                texts << line.text;
        return texts;
    }

    QString drive;
    MoverLog log;
    std::unique_ptr<MoverSettings> settings;
    FakeVolumeWatcher volumes;
    FakeExecutables fakes;
    std::unique_ptr<LocalFolderMover> mover;

private:
    bool m_rsyncReplaced = false;
};

} // namespace quindle::test
