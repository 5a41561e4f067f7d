#pragma once

#include "platform/CaptureDeviceProbe.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

namespace quindle {

// Keeps meeting.flag while a camera or microphone is in use, so that the service's smart mode
// holds heavy work back during a call. The service takes a flag not touched for a minute as
// stale; each tick that sees a device in use touches it.
class MeetingMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds interval{10000};

    explicit MeetingMonitor(platform::CaptureDeviceProbe probe = platform::CaptureDeviceProbe(),
                            QObject *parent = nullptr);

    // Creates the state folder, ticks now and then every interval.
    void start();
    // No tick after this, and a probe still running is ignored: nothing writes the flag again.
    void stop();
    // Probes off the main thread and applies the answer here; a tick while one is still probing
    // is skipped.
    void tick();

    const QList<platform::CaptureUse> &lastUses() const { return m_uses; }
    const std::optional<QDateTime> &lastWroteAt() const { return m_lastWroteAt; }

    // The flag itself, for a one-off check from the command line. False when it could not.
    static bool refreshFlag();
    static bool removeFlag();

Q_SIGNALS:
    // After each tick, with the flag as the tick left it.
    void ticked();

private:
    void apply(const QList<platform::CaptureUse> &uses);

    platform::CaptureDeviceProbe m_probe;
    QTimer m_timer;
    QList<platform::CaptureUse> m_uses;
    std::optional<QDateTime> m_lastWroteAt;
    bool m_probing = false;
    bool m_firstTick = true;
    bool m_stopped = false;
};

} // namespace quindle
