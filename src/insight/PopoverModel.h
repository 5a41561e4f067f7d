#pragma once

#include "core/ServiceStatus.h"
#include "core/StatusModel.h"
#include "mover/MoveManifest.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quindle {

class FstabAuditor;
class LocalFolderMover;

// Moves the popover mentions: those running and those parked until the drive returns.
struct MoveCounts {
    int underWay = 0;
    int waiting = 0;
    bool operator==(const MoveCounts &) const = default;
};

// A disk card's figures; nothing known shows as "Not mounted".
struct DiskFigures {
    QString free;
    QString used;
    int usedPermille = 0;
    bool operator==(const DiskFigures &) const = default;
};

// A command that asks before it runs, and the command it then runs.
struct Confirmation {
    QString command;
    QString title;
    QString text;
    QString confirm;
};

// What the popover shows and which of its commands may run, over the service's status and the
// mover's jobs. The popover only lays it out.
class PopoverModel : public QObject {
    Q_OBJECT
public:
    enum class Page { Status, NotInstalled, NotLoaded, WaitingForStatus };
    enum class SpaceLevel { Normal, Low, Critical };
    // Asks the person without waiting for the answer; calls `agreed` if and when they agree.
    using Confirm = std::function<void(const Confirmation &, std::function<void()> agreed)>;

    PopoverModel(StatusModel &status, const LocalFolderMover &mover, FstabAuditor *fstab = nullptr,
                 QObject *parent = nullptr);

    const std::optional<ServiceStatus> &status() const { return m_status.status(); }
    IconState iconState() const;
    QString subtitle() const { return m_status.headerSubtitle(); }

    Page page() const;
    static Page page(bool installed, bool loaded, bool hasStatus);
    // The text and button that stand in for the status until there is one; no button text means
    // no button.
    static QString messageText(Page page);
    static QString messageButton(Page page);
    bool messageButtonEnabled() const { return !m_status.isInFlight(StatusModel::startKey); }
    void startService() { m_status.startService(); }
    void refresh() { m_status.refreshAsync(); }

    // Nothing runs twice; rule runs need an active service and the drive.
    static bool commandEnabled(const QString &command, const ServiceStatus &status,
                               const QStringList &inFlight);
    bool commandEnabled(const QString &command) const;
    // The pause button's label: "Resume" while paused.
    QString pauseLabel() const;
    static std::optional<Confirmation> confirmation(const QString &command,
                                                    const QString &drivePath);
    // A press of a command's button; a command that asks first runs only when `confirm` agrees.
    void press(const QString &command, const Confirm &confirm = {});

    static MoveCounts countMoves(const QList<MoveJob> &jobs);
    // "2 moves in progress · 1 waiting for the drive"; empty when there is nothing to say.
    static QString movesText(const MoveCounts &counts);
    QString movesText() const;

    static DiskFigures disk(const std::optional<VolumeSpace> &space);
    // What was measured, else the service's whole GB; nothing when neither is known.
    static std::optional<VolumeSpace> space(const std::optional<VolumeSpace> &measured,
                                            std::optional<qint64> freeGB,
                                            std::optional<qint64> totalGB);
    static SpaceLevel internalSpace(const ServiceStatus &status);
    static QString driveText(const ServiceStatus &status);
    static QString autoActionsText(const ServiceStatus &status);
    static QString powerText(const ServiceStatus &status);
    static QString idleText(qint64 seconds);
    static QString lastRunText(const std::optional<QString> &lastRun);
    static QString summaryText(const ServiceStatus &status);

    // A line in the file system table pins the drive: the popover offers to remove it.
    bool showsFstabRow() const;
    // Why the last removal did not happen; empty when it did or none was tried.
    QString fstabRemovalError() const;
    // Removes the line once the person agrees.
    void removeFstabEntry(const Confirm &confirm);
    // Looks again at what the popover shows from the system (on opening it).
    void refreshDetections();

    // The last action's output unless the person cleared it since; empty hides it.
    QString output() const;
    const QString &fullOutput() const { return m_status.actionOutput(); }
    QString error() const { return m_status.lastError().value_or(QString()); }
    void clearOutput();

    static inline const QString confirmedRollback = QStringLiteral("rollback --yes");

Q_SIGNALS:
    void changed();

private:
    StatusModel &m_status;
    const LocalFolderMover &m_mover;
    FstabAuditor *m_fstab;
    std::optional<quint64> m_clearedAction; // the action whose output was cleared
};

} // namespace quindle
