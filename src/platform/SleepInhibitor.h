#pragma once

#include <QDBusUnixFileDescriptor>
#include <QList>
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

// One sleep lock for several engines (moves and transfers): held while any of its holders holds
// it, so one engine going idle never lets the computer sleep under another.
class SharedSleepLock : public QObject {
    Q_OBJECT
public:
    explicit SharedSleepLock(SleepInhibitor &lock, QObject *parent = nullptr);
    ~SharedSleepLock() override;

    // A holder for one engine, owned by this lock. The lock takes the reason of the holder that
    // held first.
    SleepInhibitor &newHolder();

private:
    class Holder;
    void update(const QString &reason);

    SleepInhibitor &m_lock;
    QList<Holder *> m_holders;
};

} // namespace quindle::platform
