#include "app/CommandLine.h"

#include "core/MeetingMonitor.h"
#include "core/StatePaths.h"
#include "platform/CaptureDeviceProbe.h"

#include <QDir>
#include <QTextStream>

namespace quindle {

namespace {

QString captureLine(const platform::CaptureUse &use) {
    const QString device = use.kind == platform::CaptureUse::Kind::Camera
                               ? QStringLiteral("The camera %1")
                               : QStringLiteral("The microphone stream %1");
    if (use.pid == 0)
        return device.arg(use.device) +
               QStringLiteral(" is capturing, and the system does not say for which program.");
    return device.arg(use.device) +
           QStringLiteral(" is in use by process %1 (%2).")
               .arg(use.pid)
               .arg(use.program.isEmpty() ? QStringLiteral("unnamed") : use.program);
}

} // namespace

// quindle meeting [--once]: which cameras and microphones are in use and by whom; --once also
// writes or removes the meeting flag by that, as one tick of the application's monitor does.
int runMeeting(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const bool once = arguments == QStringList{QStringLiteral("--once")};
    if (!arguments.isEmpty() && !once) {
        err << "Usage: quindle meeting [--once]\n";
        return 2;
    }
    const QList<platform::CaptureUse> uses = platform::CaptureDeviceProbe().scan();
    if (uses.isEmpty())
        out << "No camera or microphone is in use.\n";
    for (const platform::CaptureUse &use : uses)
        out << captureLine(use) << '\n';
    if (!once)
        return 0;
    const QString flag = paths::meetingFlag();
    if (uses.isEmpty()) {
        if (!MeetingMonitor::removeFlag()) {
            err << "Could not remove " << flag << ".\n";
            return 1;
        }
        out << "No meeting: " << flag << " is absent.\n";
        return 0;
    }
    QDir().mkpath(paths::stateDirectory());
    if (!MeetingMonitor::refreshFlag()) {
        err << "Could not write " << flag << ".\n";
        return 1;
    }
    out << "A meeting is in progress: " << flag << " is written.\n";
    return 0;
}

} // namespace quindle
