#include "core/MeetingMonitor.h"

#include "core/BackgroundPool.h"
#include "core/StatePaths.h"
#include "core/WhenFinished.h"

#include <QDir>
#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

namespace quindle {

MeetingMonitor::MeetingMonitor(platform::CaptureDeviceProbe probe, QObject *parent)
    : QObject(parent)
    , m_probe(std::move(probe)) {
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &MeetingMonitor::tick);
}

void MeetingMonitor::start() {
    m_stopped = false;
    QDir().mkpath(paths::stateDirectory());
    tick();
    m_timer.start();
}

void MeetingMonitor::stop() {
    m_stopped = true;
    m_timer.stop();
}

void MeetingMonitor::tick() {
    if (m_probing || m_stopped)
        return;
    m_probing = true;
    whenFinished(QtConcurrent::run(blockingPool(), [probe = m_probe] { return probe.scan(); }),
                 this, [this](const QList<platform::CaptureUse> &uses) { apply(uses); });
}

void MeetingMonitor::apply(const QList<platform::CaptureUse> &uses) {
    m_probing = false;
    if (m_stopped)
        return;
    m_uses = uses;
    if (!uses.isEmpty()) {
        refreshFlag(); // a failure is tried again at the next tick
        m_lastWroteAt = QDateTime::currentDateTimeUtc();
    } else if (m_lastWroteAt || m_firstTick) {
        // A flag left by a run that ended during a call would hold the service back for a
        // minute more.
        removeFlag();
        m_lastWroteAt.reset();
    }
    m_firstTick = false;
    Q_EMIT ticked();
}

bool MeetingMonitor::refreshFlag() {
    QFile flag(paths::meetingFlag());
    const bool existed = flag.exists();
    if (!flag.open(existed ? QIODevice::Append : QIODevice::WriteOnly))
        return false;
    if (!existed && (flag.write("meeting\n") < 0 || !flag.flush()))
        return false;
    return flag.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
}

bool MeetingMonitor::removeFlag() {
    QFile flag(paths::meetingFlag());
    return !flag.exists() || flag.remove();
}

} // namespace quindle
