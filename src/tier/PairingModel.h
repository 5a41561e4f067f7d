#pragma once

#include "tier/TierTypes.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

class DriveReport;
class PairHistory;
struct PairRecord;

// The right pane's way to the same place on the drive as the left pane's folder in the home.
struct MirrorOffer {
    QString path;
    bool exists = false;
    QString text;
    bool operator==(const MirrorOffer &) const = default;
};

// Where the two panes stand, whether they are paired, what is selected, and how they navigate.
// Paired panes are in folders of the same name; from then on they move in lockstep and every
// move keeps the relative hierarchy below the two pair roots.
class PairingModel : public QObject {
    Q_OBJECT
public:
    PairingModel(PairHistory &history, const DriveReport &drive, QObject *parent = nullptr);

    QString path(Side side) const { return m_paths[index(side)]; }
    // The folders whose sub-folders are applications (the Apps window moves those).
    const QStringList &appsRoots() const { return m_appsRoots; }
    void setAppsRoots(const QStringList &roots) { m_appsRoots = roots; }
    QString currentPairID() const; // leftPath + "|" + rightPath
    bool isPaired() const { return m_paired; }
    std::optional<QString> pairRoot(Side side) const { return m_roots[index(side)]; }
    std::optional<QString> explicitlyUnpairedID() const { return m_explicitlyUnpairedID; }

    // The pairing rule: both last components non-empty and exactly equal.
    static bool rootsMirrored(const QString &left, const QString &right);
    bool canPair() const { return rootsMirrored(path(Side::Left), path(Side::Right)); }
    // The pair control's help text, and its short status while the rule fails.
    QString pairControlHelp() const;
    std::optional<QString> pairControlStatus() const;
    static QString movesNeedPairText();

    // Both roots set and each pane at or below its root.
    bool pairAncestorValid() const;
    // Where the items of `sourceFolder` (a folder of pane `from`) go: the other root followed by
    // the same relative sub-path. Nothing without roots or when the folder is outside its root.
    std::optional<QString> destinationParent(Side from, const QString &sourceFolder) const;
    // The "Hierarchy preserved" banner; empty while unpaired.
    QString hierarchyDescription() const;

    const QStringList &selection(Side side) const { return m_selection[index(side)]; }
    void setSelection(Side side, const QStringList &names);
    void deselect(Side side, const QStringList &names);

    // Opens the panes on two folders (the window's first load).
    void setPaths(const QString &left, const QString &right);
    // Points one pane elsewhere by any other means (a typed path, a breadcrumb).
    void setPath(Side side, const QString &path);

    bool pair();
    void unpair();
    // Forgets the pair without blocking its automatic return; `toast` is shown when given.
    void dropPair(const std::optional<Toast> &toast = std::nullopt);
    void restore(const PairRecord &record);

    void navigateUp(Side side);
    // Enters a folder row of the pane; false for rows that are not enterable folders.
    bool enter(Side side, const QString &name);
    void navigateHome(Side side);
    void homeBoth();
    // Reloads the listing and clears the pane's selection.
    void refresh(Side side);
    // Reloads the listing only (after something changed on disk).
    void reload(Side side) { Q_EMIT reloadRequested(side); }

    // The home folder of each pane: the home folder, and the computer's working folder on the
    // drive (the home folder while no drive is mounted).
    QString homeFolder(Side side) const;

    // Offered while the left pane is in the home folder and the drive is mounted.
    std::optional<MirrorOffer> mirrorOffer() const;
    bool goToMirror();

Q_SIGNALS:
    void pathsChanged();
    void pairChanged();
    void selectionChanged(Side side);
    void reloadRequested(Side side);
    void toastPosted(const Toast &toast);

private:
    static int index(Side side) { return side == Side::Left ? 0 : 1; }
    void changeFolder(Side side, const QString &path);
    void clearSelection(Side side);
    void makePair();
    void clearPairState();
    void pairAutomatically();
    void post(const QString &text, Tone tone);
    std::optional<QString> mountedDrive() const;

    PairHistory &m_history;
    const DriveReport &m_drive;
    QStringList m_appsRoots;
    QString m_paths[2];
    QStringList m_selection[2];
    bool m_paired = false;
    std::optional<QString> m_roots[2];
    std::optional<QString> m_explicitlyUnpairedID;
};

} // namespace quindle
