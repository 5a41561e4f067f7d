#pragma once

#include <QList>
#include <QString>

namespace quindle::platform {

// A camera or microphone that a program of this user other than Quindle is capturing from.
struct CaptureUse {
    enum class Kind { Camera, Microphone };
    Kind kind = Kind::Camera;
    QString device; // the video device, or the capture stream's status file
    qint64 pid = 0; // 0: the device does not say who
    QString program;
};

// Tells whether a call may be in progress from what the kernel shows: a video device held open
// (/proc/<pid>/fd) and a capture stream that is running (the sound cards' status files). The
// sound server and its session manager keep idle cameras open, so their holds do not count.
class CaptureDeviceProbe {
public:
    // QUINDLE_VIDEO_DEVICES and QUINDLE_ASOUND_ROOT, when set, take the place of these. The
    // pattern may hold wildcards in its last part only.
    explicit CaptureDeviceProbe(QString videoDevicePattern = QStringLiteral("/dev/video*"),
                                QString asoundRoot = QStringLiteral("/proc/asound"));

    // Blocks on the file system: call it off the main thread. Empty when nothing is in use.
    QList<CaptureUse> scan() const;

    QString videoDevicePattern() const;
    QString asoundRoot() const;

private:
    QString m_videoDevicePattern;
    QString m_asoundRoot;
};

} // namespace quindle::platform
