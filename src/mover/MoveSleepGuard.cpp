#include "mover/MoveSleepGuard.h"

#include "mover/LocalFolderMover.h"
#include "platform/SleepInhibitor.h"

#include <QDir>
#include <QFileInfo>

namespace quindle {

namespace {

bool underWay(MovePhase phase) {
    return !isTerminal(phase) && phase != MovePhase::WaitingForDrive;
}

} // namespace

MoveSleepGuard::MoveSleepGuard(LocalFolderMover &mover, platform::SleepInhibitor &inhibitor,
                               QObject *parent)
    : QObject(parent)
    , m_mover(mover)
    , m_inhibitor(inhibitor) {
    connect(&mover, &LocalFolderMover::jobsChanged, this, &MoveSleepGuard::update);
    update();
}

QString MoveSleepGuard::reasonFor(const LocalFolderMover &mover, QStringList alsoMoving) {
    QStringList names;
    for (const MoveJob &job : mover.jobs())
        if (underWay(job.manifest.phase))
            names << QFileInfo(QDir::cleanPath(job.manifest.src)).fileName();
    names << alsoMoving;
    if (names.isEmpty())
        return {};
    constexpr int shown = 3;
    QString list = names.mid(0, shown).join(QStringLiteral(", "));
    if (names.size() > shown)
        list += QStringLiteral(" and %1 more").arg(names.size() - shown);
    return QStringLiteral("Quindle is moving %1 to the drive.").arg(list);
}

void MoveSleepGuard::update() {
    QStringList others;
    for (const auto &moving : std::as_const(m_others))
        others << moving();
    const QString reason = reasonFor(m_mover, others);
    if (reason.isEmpty())
        m_inhibitor.release();
    else
        m_inhibitor.acquire(reason);
}

} // namespace quindle
