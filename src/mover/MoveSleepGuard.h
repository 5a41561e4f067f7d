#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

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

    // Another engine whose moves hold the lock too: `moving` names what it moves right now, and
    // `changed` is the signal it gives when that may have changed.
    template <typename Engine, typename Signal>
    void watchAlso(Engine *engine, Signal changed, std::function<QStringList()> moving) {
        m_others << std::move(moving);
        connect(engine, changed, this, &MoveSleepGuard::update);
        update();
    }

    // "Quindle is moving Projects, Photos to the drive." — empty when nothing moves.
    static QString reasonFor(const LocalFolderMover &mover, QStringList alsoMoving = {});

private:
    void update();

    LocalFolderMover &m_mover;
    platform::SleepInhibitor &m_inhibitor;
    QList<std::function<QStringList()>> m_others;
};

} // namespace quindle
