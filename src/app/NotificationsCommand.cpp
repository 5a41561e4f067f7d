#include "app/CommandLine.h"

#include "core/NotificationDrain.h"
#include "core/RecentNotices.h"
#include "platform/DesktopNotifier.h"

#include <QEventLoop>
#include <QTextStream>

namespace quindle {

namespace {

QString noticeLine(const RecentNotice &notice) {
    const QString title = QStringLiteral("“%1”").arg(notice.payload.title);
    switch (notice.route) {
    case NoticeRoute::Desktop:
        return QStringLiteral("Posted %1 to the desktop's notification server.").arg(title);
    case NoticeRoute::TrayBalloon:
        return QStringLiteral("Showed %1 beside the tray icon.").arg(title);
    case NoticeRoute::StandardError:
        break;
    }
    return QStringLiteral("No notification server could show %1, so it went to standard error.")
        .arg(title);
}

} // namespace

// quindle notifications drain: one drain of the service's queue, as the application does every
// two seconds, saying what went where.
int runNotifications(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments != QStringList{QStringLiteral("drain")}) {
        err << "Usage: quindle notifications drain\n";
        return 2;
    }
    platform::DesktopNotifier notifier;
    RecentNotices recent;
    NotificationDrain drain(notifier, recent);
    QList<RecentNotice> shown;
    QEventLoop answered;
    DrainReport report;
    QObject::connect(&drain, &NotificationDrain::shown, &answered, [&](const RecentNotice &n) {
        shown.append(n);
        if (shown.size() == report.posted.size())
            answered.quit();
    });
    report = drain.drain();
    switch (report.outcome) {
    case DrainReport::Outcome::Empty:
        out << "The notification queue is empty, so nothing was posted.\n";
        return 0;
    case DrainReport::Outcome::Busy:
        err << "The service is adding to the notification queue right now, so nothing was posted. "
               "Try again in a moment.\n";
        return 1;
    case DrainReport::Outcome::MoveFailed:
        err << "Nothing was posted. " << report.error << '\n';
        return 1;
    case DrainReport::Outcome::Drained:
        break;
    }
    // The notifier answers for the whole batch at once, within its reply timeout.
    if (!report.posted.isEmpty())
        answered.exec();
    for (const RecentNotice &notice : shown)
        out << noticeLine(notice) << '\n';
    if (report.malformed + report.undecodable > 0)
        out << "Skipped " << report.malformed + report.undecodable
            << " line(s) that are not notifications.\n";
    out << "The drained queue is kept as " << report.processedFile << ".\n";
    return 0;
}

} // namespace quindle
