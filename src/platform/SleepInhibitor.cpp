#include "platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace quindle::platform {

void LogindSleepInhibitor::acquire(const QString &reason) {
    m_wanted = true;
    if (m_lock.isValid() || m_pending)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Quindle") << reason
         << QStringLiteral("block");
    m_pending = true;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                m_pending = false;
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                // The work may have ended while the answer was on its way.
                if (!reply.isError() && m_wanted)
                    m_lock = reply.value();
            });
}

void LogindSleepInhibitor::release() {
    m_wanted = false;
    m_lock = QDBusUnixFileDescriptor(); // closing our copy of the descriptor ends the lock
}

} // namespace quindle::platform
