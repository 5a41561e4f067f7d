#include "platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <algorithm>

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

class SharedSleepLock::Holder : public SleepInhibitor {
public:
    explicit Holder(SharedSleepLock &owner)
        : m_owner(owner) {}
    void acquire(const QString &reason) override {
        m_held = true;
        m_owner.update(reason);
    }
    void release() override {
        m_held = false;
        m_owner.update({});
    }
    bool isHeld() const override { return m_held; }

private:
    SharedSleepLock &m_owner;
    bool m_held = false;
};

SharedSleepLock::SharedSleepLock(SleepInhibitor &lock, QObject *parent)
    : QObject(parent)
    , m_lock(lock) {}

SharedSleepLock::~SharedSleepLock() {
    qDeleteAll(m_holders);
}

SleepInhibitor &SharedSleepLock::newHolder() {
    m_holders << new Holder(*this);
    return *m_holders.back();
}

void SharedSleepLock::update(const QString &reason) {
    const bool anyHeld = std::any_of(m_holders.cbegin(), m_holders.cend(),
                                     [](const Holder *holder) { return holder->isHeld(); });
    if (anyHeld && !reason.isEmpty())
        m_lock.acquire(reason);
    else if (!anyHeld)
        m_lock.release();
}

} // namespace quindle::platform
