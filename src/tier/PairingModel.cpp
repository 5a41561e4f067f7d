#include "tier/PairingModel.h"

#include "core/AppsRoots.h"
#include "core/DriveIdentity.h"
#include "core/DriveReport.h"
#include "platform/HomeDirectory.h"
#include "platform/VolumeLocations.h"
#include "tier/PairHistory.h"
#include "tier/TierListing.h"

#include <QDir>
#include <QFileInfo>

namespace quindle {

namespace {

QString normalised(const QString &path) {
    if (!isCloudPath(path))
        return path.isEmpty() ? path : QDir::cleanPath(path);
    QString cloud = path;
    while (cloud.endsWith(QLatin1Char('/')) && !cloud.endsWith(QLatin1String(":/")))
        cloud.chop(1);
    return cloud;
}

bool isReachable(const QString &path) {
    return isCloudPath(path) || QFileInfo(path).isDir(); // a remote is only known once listed
}

} // namespace

PairingModel::PairingModel(PairHistory &history, const DriveReport &drive, QObject *parent)
    : QObject(parent)
    , m_history(history)
    , m_drive(drive)
    , m_appsRoots(AppsRoots::current()) {}

QString PairingModel::currentPairID() const {
    return path(Side::Left) + QLatin1Char('|') + path(Side::Right);
}

bool PairingModel::rootsMirrored(const QString &left, const QString &right) {
    const QString name = lastPathComponent(left);
    return !name.isEmpty() && name == lastPathComponent(right);
}

QString PairingModel::pairControlHelp() const {
    if (canPair())
        return QStringLiteral("Bind the two panes as a mirror pair. Navigation stays in lockstep "
                              "and the move arrows enable.");
    return QStringLiteral("Navigate both panes to folders with the same name (e.g. "
                          "~/Working/GitHub ↔ %1/Working/GitHub) to enable pairing.")
        .arg(platform::defaultNVMePath());
}

std::optional<QString> PairingModel::pairControlStatus() const {
    if (m_paired || canPair())
        return std::nullopt;
    return QStringLiteral("Folder names differ");
}

QString PairingModel::movesNeedPairText() {
    return QStringLiteral("Pair the two panes first to enable moves.");
}

bool PairingModel::pairAncestorValid() const {
    for (Side side : {Side::Left, Side::Right})
        if (!pairRoot(side) || !isWithin(path(side), *pairRoot(side)))
            return false;
    return true;
}

std::optional<QString> PairingModel::destinationParent(Side from,
                                                       const QString &sourceFolder) const {
    const std::optional<QString> sourceRoot = pairRoot(from);
    const std::optional<QString> destinationRoot = pairRoot(otherSide(from));
    if (!sourceRoot || !destinationRoot || !isWithin(sourceFolder, *sourceRoot))
        return std::nullopt;
    return *destinationRoot + sourceFolder.mid(sourceRoot->size());
}

QString PairingModel::hierarchyDescription() const {
    if (!m_paired || !m_roots[0] || !m_roots[1])
        return QString();
    return QStringLiteral("Moves preserve the relative hierarchy from these pair roots:\n"
                          "  Left:  %1\n  Right: %2\n"
                          "Destination = right-root + (current-path − left-root).")
        .arg(*m_roots[0], *m_roots[1]);
}

void PairingModel::setSelection(Side side, const QStringList &names) {
    QStringList unique = names;
    unique.removeDuplicates();
    if (unique == selection(side))
        return;
    m_selection[index(side)] = unique;
    Q_EMIT selectionChanged(side);
}

void PairingModel::deselect(Side side, const QStringList &names) {
    QStringList remaining = selection(side);
    for (const QString &name : names)
        remaining.removeAll(name);
    setSelection(side, remaining);
}

void PairingModel::setPaths(const QString &left, const QString &right) {
    changeFolder(Side::Left, left);
    changeFolder(Side::Right, right);
    Q_EMIT pathsChanged();
    pairAutomatically();
}

void PairingModel::setPath(Side side, const QString &path) {
    changeFolder(side, path);
    Q_EMIT pathsChanged();
    pairAutomatically();
}

bool PairingModel::pair() {
    if (!canPair())
        return false;
    makePair();
    clearSelection(Side::Left);
    clearSelection(Side::Right);
    m_history.record(path(Side::Left), path(Side::Right));
    post(QStringLiteral("Paired. Move arrows now preserve the relative hierarchy from these "
                        "roots."),
         Tone::Success);
    return true;
}

void PairingModel::unpair() {
    if (!m_paired)
        return;
    m_explicitlyUnpairedID = currentPairID();
    clearPairState();
    post(QStringLiteral("Unpaired. Panes navigate independently."), Tone::Info);
}

void PairingModel::dropPair(const std::optional<Toast> &toast) {
    clearPairState();
    if (toast)
        Q_EMIT toastPosted(*toast);
}

void PairingModel::restore(const PairRecord &record) {
    if (m_paired)
        clearPairState();
    changeFolder(Side::Left, record.leftPath);
    changeFolder(Side::Right, record.rightPath);
    Q_EMIT pathsChanged();
    for (Side side : {Side::Left, Side::Right}) {
        if (!isReachable(path(side))) {
            post(QStringLiteral("Loaded paths, but the %1 folder is currently unreachable (drive "
                                "unplugged?). Reconnect and try Pair again.")
                     .arg(sideName(side)),
                 Tone::Warning);
            return;
        }
    }
    if (!canPair()) {
        post(QStringLiteral("Loaded paths, but basenames no longer match — pair manually if you "
                            "still want this pairing."),
             Tone::Warning);
        return;
    }
    pair();
}

void PairingModel::navigateUp(Side side) {
    const QString parent = parentPath(path(side));
    if (parent.isEmpty())
        return;
    if (!m_paired) {
        changeFolder(side, parent);
    } else {
        if (path(side) == pairRoot(side)) {
            post(QStringLiteral("Already at the pair root — unpair first to navigate higher."),
                 Tone::Warning);
            return;
        }
        changeFolder(side, parent);
        const Side other = otherSide(side);
        const QString otherParent = parentPath(path(other));
        // A pane that could not follow a lockstep enter is already at its root and stays there.
        changeFolder(other, path(other) == pairRoot(other) || otherParent.isEmpty() ? path(other)
                                                                                    : otherParent);
    }
    Q_EMIT pathsChanged();
    pairAutomatically();
}

bool PairingModel::enter(Side side, const QString &name) {
    const QString here = path(side);
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    if (!isCloudPath(here)) {
        const std::optional<FolderEntry> entry = folderEntry(here, name, m_appsRoots);
        if (!entry || !entry->isDirectory || entry->isAppBundle)
            return false;
    }
    changeFolder(side, childPath(here, name));
    const Side other = otherSide(side);
    if (m_paired && !isCloudPath(here) && !isCloudPath(path(other))) {
        const QString mirrored = childPath(path(other), name);
        if (QFileInfo(mirrored).isDir())
            changeFolder(other, mirrored);
    }
    Q_EMIT pathsChanged();
    pairAutomatically();
    return true;
}

void PairingModel::navigateHome(Side side) {
    const QString target = normalised(homeFolder(side));
    if (m_paired && !isWithin(target, pairRoot(side).value_or(QString())))
        dropPair(Toast{QStringLiteral("Home is outside the pair scope — unpairing."), Tone::Info});
    changeFolder(side, target);
    Q_EMIT pathsChanged();
    pairAutomatically();
}

void PairingModel::homeBoth() {
    unpair();
    changeFolder(Side::Left, homeFolder(Side::Left));
    changeFolder(Side::Right, homeFolder(Side::Right));
    Q_EMIT pathsChanged();
    pairAutomatically();
}

void PairingModel::refresh(Side side) {
    clearSelection(side);
    Q_EMIT reloadRequested(side);
}

QString PairingModel::homeFolder(Side side) const {
    if (side == Side::Right)
        if (const std::optional<QString> drive = mountedDrive())
            return WorkingFolder::path(*drive);
    return platform::homePath();
}

std::optional<MirrorOffer> PairingModel::mirrorOffer() const {
    const QString left = path(Side::Left);
    const QString home = normalised(platform::homePath());
    const std::optional<QString> drive = mountedDrive();
    if (!drive || isCloudPath(left) || home == QLatin1String("/") || !isWithin(left, home))
        return std::nullopt;
    MirrorOffer offer;
    offer.path = WorkingFolder::path(*drive) + left.mid(home.size());
    offer.exists = QFileInfo(offer.path).isDir();
    offer.text =
        offer.exists
            ? QStringLiteral("Switch the right pane to the existing mirror folder on NVMe.")
            : QStringLiteral("Create the mirror folder on NVMe and switch the right pane to it.");
    return offer;
}

bool PairingModel::goToMirror() {
    const std::optional<MirrorOffer> offer = mirrorOffer();
    if (!offer)
        return false;
    if (!offer->exists && !QDir().mkpath(offer->path)) {
        post(QStringLiteral("Couldn't create the mirror folder %1.").arg(offer->path), Tone::Error);
        return false;
    }
    if (m_paired && !isWithin(offer->path, pairRoot(Side::Right).value_or(QString())))
        dropPair(Toast{QStringLiteral("Unpaired. Panes navigate independently."), Tone::Info});
    setPath(Side::Right, offer->path);
    return true;
}

void PairingModel::changeFolder(Side side, const QString &path) {
    m_paths[index(side)] = normalised(path);
    clearSelection(side);
    Q_EMIT reloadRequested(side);
}

void PairingModel::clearSelection(Side side) {
    setSelection(side, {});
}

void PairingModel::makePair() {
    m_paired = true;
    m_roots[0] = path(Side::Left);
    m_roots[1] = path(Side::Right);
    m_explicitlyUnpairedID.reset();
    Q_EMIT pairChanged();
}

void PairingModel::clearPairState() {
    m_paired = false;
    m_roots[0].reset();
    m_roots[1].reset();
    Q_EMIT pairChanged();
}

void PairingModel::pairAutomatically() {
    if (m_paired || !canPair() || m_explicitlyUnpairedID == currentPairID() ||
        !m_history.find(path(Side::Left), path(Side::Right)))
        return;
    makePair();
    m_history.record(path(Side::Left), path(Side::Right));
}

// The drive's mount path while it is mounted; nothing otherwise.
std::optional<QString> PairingModel::mountedDrive() const {
    const std::optional<QString> drive = m_drive.reportedDrivePath();
    if (!drive || !QFileInfo(*drive).isDir())
        return std::nullopt;
    return drive;
}

void PairingModel::post(const QString &text, Tone tone) {
    Q_EMIT toastPosted(Toast{text, tone});
}

} // namespace quindle
