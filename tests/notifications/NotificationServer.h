#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace quindle::test {

// A session bus of the test's own. It starts no service on demand (its configuration names no
// service folders), so a call to a name nobody owns fails at once with ServiceUnknown.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A connection of this process to the bus.
    QDBusConnection connect() const;
    // The system environment with this bus as the session bus.
    QProcessEnvironment environment() const;
    bool nameHasOwner(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

// What dunst says it received.
struct ReceivedNotice {
    QString appName;
    QString summary;
    QString body;
};

// One Notify call as seen on the bus: its string arguments and its hints.
struct NotifyCall {
    QString appName, icon, summary, body;
    QMap<QString, QString> hints;
};

// dunst under a virtual display, owning the notification name on `bus`. It stacks no duplicates
// and shows one notice at a time, so every notice counts once among the displayed, the waiting
// and the history.
class DunstServer {
public:
    enum class Markup { None, Full };
    DunstServer(const PrivateBus &bus, Markup markup = Markup::None);
    ~DunstServer();
    DunstServer(const DunstServer &) = delete;
    DunstServer &operator=(const DunstServer &) = delete;

    bool isRunning() const { return m_ready; }
    // Every notice it was given: displayed, waiting or in the history.
    int received() const;
    // Every notice it was given, oldest first (closes those on screen).
    QList<ReceivedNotice> history() const;

private:
    QString dunstctl(const QStringList &arguments) const;

    const PrivateBus &m_bus;
    QTemporaryDir m_dir;
    QProcess m_display;
    QProcess m_dunst;
    bool m_ready = false;
};

// dbus-monitor watching Notify calls on `bus`.
class NotifyMonitor {
public:
    explicit NotifyMonitor(const PrivateBus &bus);
    ~NotifyMonitor();
    bool isRunning() const { return m_ready; }
    // The calls seen so far; waits until `count` of them were.
    QList<NotifyCall> calls(qsizetype count);

private:
    QProcess m_monitor;
    QByteArray m_output;
    bool m_ready = false;
};

// Why the programs these tests need are missing, or nothing when all are there.
std::optional<QString> missingDesktopPrograms();

} // namespace quindle::test
