#pragma once

#include "mover/MoveManifest.h"
#include "tier/CloudMoves.h"
#include "tier/TierTypes.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUuid>

#include <optional>

namespace quindle {

class LocalFolderMover;
class PairingModel;

// The three move arrows.
enum class MoveAction {
    Move,    // replace the destination
    Merge,   // keep extras already at the destination
    Relocate // replace the destination, then leave links at the source
};

MoveConflictPolicy conflictPolicy(MoveAction action);
bool leavesLinks(MoveAction action);
QString helpText(MoveAction action);

// A replace that would delete existing destinations, waiting for the person to agree.
struct MoveConfirmRequest {
    QUuid id;
    Side from = Side::Left;
    Side to = Side::Right;
    MoveConflictPolicy policy = MoveConflictPolicy::Override;
    bool symlinkAfter = false;
    QString srcCurrent;
    QString dstParent;
    QStringList chosen;
    QStringList collisions; // destination paths that exist
    int fileCountAtRisk = 0;
    bool fileCountStopped = false; // a count reached its limit, so the total is a lower bound
    QStringList skippedSymlinks;

    QString title() const;
    QString message() const;
    bool operator==(const MoveConfirmRequest &) const = default;
};

// Turns a press of a move arrow into mover jobs: validates the request against the pairing,
// drops links that already point at their destination, asks before replacing, and enqueues.
class TierOperations : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Refused, LinksRemoved, AwaitingConfirmation, Enqueued };

    static constexpr int reloadDelayMs = 800;
    static constexpr int cloudTransfers = 8; // files a cloud move sends at once

    TierOperations(PairingModel &pairing, LocalFolderMover &mover, QObject *parent = nullptr);

    // Why the arrows are disabled; nothing while they work.
    std::optional<QString> arrowsDisabledReason() const;

    Outcome move(Side from, Side to, MoveAction action);
    // Moves to and from cloud folders go to this engine; without it they are refused.
    void setCloudMoves(CloudMoves *cloud);

    const std::optional<MoveConfirmRequest> &pendingConfirmation() const { return m_pending; }
    void confirm();
    void dismissConfirmation();

    // Reverts a completed move from the manifests list and says what happened.
    Toast revert(const MoveManifest &manifest);
    static QString emptyQueueText();

Q_SIGNALS:
    void confirmationChanged(); // a request is waiting, or no longer
    void toastPosted(const Toast &toast);

private:
    struct Tracked {
        Side side;
        QString folder;
        QString name;
    };

    Outcome refuse(const QString &text);
    Outcome enqueueCloud(Side from, const QString &srcCurrent, const QString &dstParent,
                         const QStringList &names, MoveConflictPolicy policy);
    void onCloudEnded(const QUuid &id, CloudMoves::End end);
    void enqueue(const MoveConfirmRequest &request);
    void onJobsChanged();
    void announceEnd(const MoveManifest &manifest, const QString &name);
    void askAfterCounting(MoveConfirmRequest request);

    PairingModel &m_pairing;
    LocalFolderMover &m_mover;
    std::optional<MoveConfirmRequest> m_pending;
    QUuid m_counting; // the replace whose files at risk are being counted
    QHash<QUuid, Tracked> m_tracked;
    CloudMoves *m_cloud = nullptr;
    QHash<QUuid, Tracked> m_cloudTracked;
    QTimer m_reloadTimer;
};

} // namespace quindle
