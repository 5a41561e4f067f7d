#pragma once

#include "core/NotificationPayload.h"
#include "core/RecentNotices.h"
#include "platform/DesktopNotifier.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

namespace quindle {

// What one drain did with the queue.
struct DrainReport {
    enum class Outcome {
        Empty,      // no queue, or nothing in it
        Busy,       // the service was appending: the next drain takes it
        MoveFailed, // the queue stays in place; nothing was posted
        Drained,
    };
    Outcome outcome = Outcome::Empty;
    QString processedFile; // where the queue was moved
    QString error;         // why it could not be moved
    QList<NotificationPayload> posted;
    int malformed = 0;   // lines that are no notification
    int undecodable = 0; // lines that are not UTF-8 text
};

// Posts what the service queues in notifications.queue. The service appends under an flock on
// notifications.lock; a drain takes that lock without waiting, moves the queue aside to
// notifications.processed.<seconds> (never over an existing file), lets go, and only then reads
// what it moved, so a line is neither lost nor posted twice.
class NotificationDrain : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds interval{2000};
    static constexpr qsizetype keptProcessedFiles = 20;

    NotificationDrain(platform::DesktopNotifier &notifier, RecentNotices &recent,
                      QObject *parent = nullptr);

    // Drains now and then every interval.
    void start();
    void stop() { m_timer.stop(); }
    DrainReport drain();

    // Shows a notice the desktop's server did not take; true when it could. Without one, or
    // when it cannot, the notice is only written to standard error.
    void setFallback(std::function<bool(const NotificationPayload &)> fallback) {
        m_fallback = std::move(fallback);
    }

Q_SIGNALS:
    // Once for every posted notice, when the desktop has answered.
    void shown(const quindle::RecentNotice &notice);

private:
    void post(const QList<NotificationPayload> &payloads);
    void settle(const QList<NotificationPayload> &payloads,
                const platform::NoticeOutcomes &outcomes);
    void removeOldProcessedFiles();

    platform::DesktopNotifier &m_notifier;
    RecentNotices &m_recent;
    std::function<bool(const NotificationPayload &)> m_fallback;
    QTimer m_timer;
};

} // namespace quindle
