#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace quindle::platform {

// Keeps the computer from sleeping while Quindle copies.
class SleepInhibitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void acquire(const QString &reason) = 0; // nothing when already held
    virtual void release() = 0;
    virtual bool isHeld() const = 0;
};

// logind's sleep lock, asked for over the system bus without blocking. Where there is no system
// bus or no logind (containers), nothing is held and nothing fails. The lock is a file
// descriptor, so it also ends with the process.
class LogindSleepInhibitor : public SleepInhibitor {
    Q_OBJECT
public:
    using SleepInhibitor::SleepInhibitor;
    void acquire(const QString &reason) override;
    void release() override;
    bool isHeld() const override { return m_lock.isValid(); }

private:
    QDBusUnixFileDescriptor m_lock;
    bool m_wanted = false;
    bool m_pending = false;
};

} // namespace quindle::platform
