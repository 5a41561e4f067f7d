// The capture-device probe and the meeting monitor on stand-in devices: plain files in place of
// /dev/video*, an invented sound-card tree, held open by real processes.
#include "core/MeetingMonitor.h"
#include "core/BackgroundPool.h"
#include "core/ServiceStatus.h"
#include "core/StatePaths.h"
#include "support/CommandRun.h"
#include "support/ServiceSandbox.h"
#include "support/TempHome.h"
#include "support/Unprivileged.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThreadPool>

#include <unistd.h>

using namespace quindle;
using platform::CaptureUse;
using test::readText;
using test::writeText;

namespace {

QString comm(qint64 pid) {
    return QString::fromUtf8(readText(QStringLiteral("/proc/%1/comm").arg(pid))).trimmed();
}

} // namespace

class MeetingMonitorTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        setEnv("QUINDLE_VIDEO_DEVICES", inHome("dev/video*"));
        setEnv("QUINDLE_ASOUND_ROOT", inHome("asound"));
        writeText(inHome("dev/video0"), {});
        writeText(inHome("dev/video1"), {});
    }
    void TearDown() override {
        for (auto &holder : m_holders) {
            holder->kill();
            holder->waitForFinished();
        }
        TempHomeTest::TearDown();
    }

    // A process of this user, running as `program` (a link to sleep named so), with `file` open
    // when one is given; `prefix` runs it as another user.
    QProcess &hold(const QString &file, const QString &program = "sleep",
                   const QStringList &prefix = {}) {
        const QString link = inHome("bin/") + program;
        if (!QFileInfo::exists(link)) {
            QDir().mkpath(inHome("bin"));
            QFile::link("/bin/sleep", link);
        }
        auto &holder = m_holders.emplace_back(std::make_unique<QProcess>());
        QStringList arguments{"-c",
                              file.isEmpty() ? QStringLiteral("exec \"$@\"")
                                             : QStringLiteral("exec \"$@\" 3<\"$0\""),
                              file.isEmpty() ? QStringLiteral("-") : file};
        arguments << prefix << link << QStringLiteral("60");
        holder->start("bash", arguments);
        // Counted only once it is what it claims to be, not the shell that starts it.
        EXPECT_TRUE(test::waitUntil([&] { return comm(holder->processId()) == program; }));
        return *holder;
    }
    void end(QProcess &holder) {
        holder.kill();
        ASSERT_TRUE(holder.waitForFinished());
    }

    // One tick, to its end.
    void tick(MeetingMonitor &monitor) {
        int ticks = 0;
        const auto connection =
            QObject::connect(&monitor, &MeetingMonitor::ticked, [&] { ++ticks; });
        monitor.tick();
        EXPECT_TRUE(test::waitUntil([&] { return ticks == 1; }));
        QObject::disconnect(connection);
    }

    static QList<CaptureUse> scan() { return platform::CaptureDeviceProbe().scan(); }

    std::vector<std::unique_ptr<QProcess>> m_holders;
};

TEST_F(MeetingMonitorTest, AHeldCameraRaisesTheFlagAndItGoesTheTickAfter) {
    // Left by a run that ended during a call: the first tick that sees nothing in use removes it.
    writeText(paths::meetingFlag(), "meeting\n");
    MeetingMonitor monitor;
    monitor.start();
    ASSERT_TRUE(test::waitUntil([&] { return !QFileInfo::exists(paths::meetingFlag()); }));

    QProcess &call = hold(inHome("dev/video1"));
    tick(monitor);
    EXPECT_EQ(readText(paths::meetingFlag()), "meeting\n");
    ASSERT_EQ(monitor.lastUses().size(), 1);
    EXPECT_EQ(monitor.lastUses()[0].kind, CaptureUse::Kind::Camera);
    EXPECT_EQ(monitor.lastUses()[0].device, inHome("dev/video1"));
    EXPECT_EQ(monitor.lastUses()[0].pid, call.processId());
    EXPECT_EQ(monitor.lastUses()[0].program, "sleep");

    // Each tick during the call tells the service the flag is fresh.
    QFile flag(paths::meetingFlag());
    ASSERT_TRUE(flag.open(QIODevice::ReadOnly));
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-50);
    ASSERT_TRUE(flag.setFileTime(stale, QFileDevice::FileModificationTime));
    tick(monitor);
    EXPECT_GT(QFileInfo(paths::meetingFlag()).lastModified(), stale.addSecs(40));

    end(call);
    tick(monitor);
    EXPECT_FALSE(QFileInfo::exists(paths::meetingFlag()));

    // After the first tick only its own flag is the monitor's to remove.
    writeText(paths::meetingFlag(), "meeting\n");
    tick(monitor);
    EXPECT_TRUE(QFileInfo::exists(paths::meetingFlag()));
}

// Uninstalling stops the monitor and then removes ~/.quindle: a probe that answers after the
// stop must not write the flag (or anything) again.
TEST_F(MeetingMonitorTest, OnceStoppedNothingWritesTheFlagNotEvenAProbeUnderWay) {
    hold(inHome("dev/video0"));
    QDir().mkpath(paths::stateDirectory());
    MeetingMonitor monitor;
    monitor.tick();
    monitor.stop();
    blockingPool()->waitForDone();
    monitor.tick(); // as a timeout already queued would
    EXPECT_FALSE(test::waitUntil([] { return QFile::exists(paths::meetingFlag()); }, 500));
    EXPECT_TRUE(monitor.lastUses().isEmpty());

    monitor.start();
    EXPECT_TRUE(test::waitUntil([] { return QFile::exists(paths::meetingFlag()); }))
        << "started again, it works again";
}

TEST_F(MeetingMonitorTest, OnlyOtherProgramsOfThisUserCountForACamera) {
    QFile ours(inHome("dev/video0"));
    ASSERT_TRUE(ours.open(QIODevice::ReadOnly));
    // The sound server and its session manager hold idle cameras open.
    hold(inHome("dev/video0"), "pipewire");
    hold(inHome("dev/video1"), "wireplumber");
    if (test::isRoot())
        hold(inHome("dev/video1"), "sleep",
             {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    EXPECT_TRUE(scan().isEmpty());

    const qint64 pid = hold(inHome("dev/video0"), "browser").processId();
    const QList<CaptureUse> uses = scan();
    ASSERT_EQ(uses.size(), 1);
    EXPECT_EQ(uses[0].pid, pid);
    EXPECT_EQ(uses[0].program, "browser");
}

TEST_F(MeetingMonitorTest, ARunningCaptureStreamCountsUnlessItIsOurs) {
    const qint64 other = hold({}).processId();
    const auto status = [&](const QString &stream, const QByteArray &text) {
        writeText(inHome("asound/") + stream + "/status", text);
    };
    const QByteArray ownerLine = "owner_pid   : ";
    status("card0/pcm0c/sub0", "closed\n");
    status("card0/pcm0p/sub0", "state: RUNNING\n" + ownerLine + QByteArray::number(other) + "\n");
    status("card1/pcm0c/sub0",
           "state: RUNNING\n" + ownerLine + QByteArray::number(::getpid()) + "\n");
    if (test::isRoot()) {
        const qint64 nobody =
            hold({}, "sleep", {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"})
                .processId();
        status("card1/pcm0c/sub1", "state: RUNNING\n" + ownerLine + QByteArray::number(nobody));
    }
    EXPECT_TRUE(scan().isEmpty());

    status("card1/pcm0c/sub2",
           "state: RUNNING\n" + ownerLine + QByteArray::number(other) + "\ntrigger_time: 1.5\n");
    status("card2/pcm3c/sub0", "state: RUNNING\nappl_ptr    : 4096\n"); // owner not shown
    QList<CaptureUse> uses = scan();
    std::sort(uses.begin(), uses.end(),
              [](const CaptureUse &a, const CaptureUse &b) { return a.device < b.device; });
    ASSERT_EQ(uses.size(), 2);
    EXPECT_EQ(uses[0].kind, CaptureUse::Kind::Microphone);
    EXPECT_EQ(uses[0].device, inHome("asound/card1/pcm0c/sub2/status"));
    EXPECT_EQ(uses[0].pid, other);
    EXPECT_EQ(uses[1].pid, 0);
}

// The flag as the service reads it: a call holds work back in smart mode while the flag is
// fresh, and a flag a minute old no longer does.
TEST_F(MeetingMonitorTest, TheServiceHoldsWorkBackWhileTheFlagIsFresh) {
    test::ServiceSandbox::install(inHome("drive"), {"QUIET_MODE=smart"});
    QDir().mkpath(inHome("power"));
    setEnv("QUINDLE_POWER_SUPPLY_DIR", inHome("power"));
    hold(inHome("dev/video0"));
    MeetingMonitor monitor;
    monitor.start();
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo::exists(paths::meetingFlag()); }));

    const auto tickStatus = [] {
        QString output;
        EXPECT_EQ(test::ServiceSandbox::run({"watch", "--once"}, &output), 0)
            << output.toStdString();
        const auto decoded = ServiceStatus::decode(readText(paths::statusFile()));
        EXPECT_TRUE(std::holds_alternative<ServiceStatus>(decoded));
        return std::get<ServiceStatus>(decoded);
    };
    ServiceStatus status = tickStatus();
    EXPECT_EQ(status.meeting_active, true);
    EXPECT_TRUE(status.quiet_hours);
    EXPECT_EQ(status.quiet_reason, "A meeting is in progress.");

    QFile flag(paths::meetingFlag());
    ASSERT_TRUE(flag.open(QIODevice::ReadOnly));
    ASSERT_TRUE(flag.setFileTime(QDateTime::currentDateTime().addSecs(-61),
                                 QFileDevice::FileModificationTime));
    status = tickStatus();
    EXPECT_EQ(status.meeting_active, false);
    EXPECT_NE(status.quiet_reason, "A meeting is in progress.");
}

// `quindle meeting` as a person runs it.
TEST_F(MeetingMonitorTest, TheCommandSaysWhoCapturesAndSetsTheFlagWhenAsked) {
    const auto quindle = [](const QStringList &arguments) {
        return test::runCommand(QStringLiteral(QUINDLE_BINARY), QStringList{"meeting"} + arguments);
    };
    QProcess &call = hold(inHome("dev/video0"), "videocall");
    const QString inUse = QStringLiteral("The camera %1 is in use by process %2 (videocall).\n")
                              .arg(inHome("dev/video0"))
                              .arg(call.processId());
    test::CommandRun run = quindle({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, inUse);
    EXPECT_FALSE(QFileInfo::exists(paths::meetingFlag()));

    run = quindle({"--once"});
    EXPECT_EQ(run.out,
              inUse + "A meeting is in progress: " + paths::meetingFlag() + " is written.\n");
    EXPECT_EQ(readText(paths::meetingFlag()), "meeting\n");

    end(call);
    run = quindle({"--once"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "No camera or microphone is in use.\nNo meeting: " + paths::meetingFlag() +
                           " is absent.\n");
    EXPECT_FALSE(QFileInfo::exists(paths::meetingFlag()));
    EXPECT_EQ(quindle({"--forever"}).status, 2);
}
