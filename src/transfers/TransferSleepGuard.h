#pragma once

#include <QObject>
#include <QString>

namespace quindle {

class SyncManager;
namespace platform {
class SleepInhibitor;
}

// Holds the sleep lock while any transfer runs.
class TransferSleepGuard : public QObject {
    Q_OBJECT
public:
    TransferSleepGuard(SyncManager &manager, platform::SleepInhibitor &inhibitor,
                       QObject *parent = nullptr);

    // "Quindle is running 2 transfers." — empty when none runs.
    static QString reasonFor(int running);

private:
    void update();

    SyncManager &m_manager;
    platform::SleepInhibitor &m_inhibitor;
};

} // namespace quindle
