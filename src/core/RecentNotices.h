#pragma once

#include "core/NotificationPayload.h"

#include <QDateTime>
#include <QList>
#include <QObject>

namespace quindle {

// Where a notice was shown.
enum class NoticeRoute {
    Desktop,       // the desktop's notification server
    TrayBalloon,   // the tray icon's message
    StandardError, // only the diagnostic line
};

struct RecentNotice {
    NotificationPayload payload;
    QDateTime shownAt;
    NoticeRoute route = NoticeRoute::Desktop;
};

// The last notices, newest first, so the application can show them itself while the desktop
// cannot.
class RecentNotices : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype capacity = 50;

    using QObject::QObject;

    void add(const RecentNotice &notice);
    const QList<RecentNotice> &notices() const { return m_notices; }
    // False from a notice the desktop's server did not take until one it takes.
    bool desktopShowsNotices() const { return m_desktopShows; }

Q_SIGNALS:
    void changed();

private:
    QList<RecentNotice> m_notices;
    bool m_desktopShows = true;
};

} // namespace quindle
