#pragma once

#include <QObject>
#include <QString>

namespace quindle {

class LocalFolderMover;
namespace platform {
class SleepInhibitor;
}

// Holds the sleep lock while any move is under way and lets go when the queue goes idle, so a
// laptop does not fall asleep in the middle of a copy.
class MoveSleepGuard : public QObject {
    Q_OBJECT
public:
    MoveSleepGuard(LocalFolderMover &mover, platform::SleepInhibitor &inhibitor,
                   QObject *parent = nullptr);

    // "Quindle is moving Projects, Photos to the drive." — empty when nothing moves.
    static QString reasonFor(const LocalFolderMover &mover);

private:
    void update();

    LocalFolderMover &m_mover;
    platform::SleepInhibitor &m_inhibitor;
};

} // namespace quindle
