#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quindle::platform {

// One notification as the desktop shows it. `sound` names a sound of the desktop's sound theme
// ("dialog-warning"); empty: silent.
struct DesktopNotice {
    QString title;
    QString body;
    QString sound;
};

// What became of each notice handed over, in order: nothing when a notification server took
// it, else the reason it did not.
using NoticeOutcomes = QList<std::optional<QString>>;

// The desktop's notification server (org.freedesktop.Notifications) on a message bus, asked
// without blocking. A server that is not running is started by the bus when it can be.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr int replyTimeoutMs = 10000; // room for the bus to start a server

    // The session bus unless told otherwise.
    explicit DesktopNotifier(QObject *parent = nullptr);
    explicit DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr);

    // Hands `notices` to the server in order; `done` runs from this object's event loop, never
    // inside this call, once every one has been answered.
    void post(const QList<DesktopNotice> &notices, std::function<void(NoticeOutcomes)> done);

    // A body for a server that reads markup: shows as typed.
    static QString escapeMarkup(const QString &text);

private:
    void notify(const QList<DesktopNotice> &notices, bool markup,
                std::function<void(NoticeOutcomes)> done);

    QDBusConnection m_bus;
};

} // namespace quindle::platform
