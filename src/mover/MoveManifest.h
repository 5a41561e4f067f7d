#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace quindle {

// The raw strings are part of the manifest file format.
enum class MovePhase {
    Writing,
    Copying,
    Hashing,
    Verifying,
    CleaningUp,
    Done,
    Cancelled,
    Failed,
    WaitingForDrive
};

QString rawValue(MovePhase phase);
std::optional<MovePhase> movePhaseFromRaw(const QString &raw);
QString label(MovePhase phase);
// done, cancelled and failed: the queue never touches the job again.
bool isTerminal(MovePhase phase);

enum class MoveConflictPolicy { Merge, Override };

QString rawValue(MoveConflictPolicy policy);
std::optional<MoveConflictPolicy> conflictPolicyFromRaw(const QString &raw);

// Upper-case, hyphenated, no braces: the form of ids in file names and JSON.
QString uuidText(const QUuid &id);

// One folder move as it is persisted; rewritten at every phase change.
struct MoveManifest {
    QUuid id;
    int version = 1;
    QString src;
    QString dstParent;
    QString finalDst;
    std::optional<QString> driveUUID;
    qint64 srcSizeKB = 0;
    QDateTime startedAt;
    QDateTime updatedAt;
    std::optional<QDateTime> completedAt;
    MovePhase phase = MovePhase::Writing;
    std::optional<QString> lastError;
    double fractionAtLastWrite = 0;
    std::optional<QString> srcContentHash;
    std::optional<QString> dstContentHash;
    std::optional<QString> statusMessage;
    MoveConflictPolicy conflictPolicy = MoveConflictPolicy::Merge;
    bool replaceSourceWithSymlink = false;
    // Parked while its cleanup ran: the copy is proven and the source may be half relocated, so
    // the drive's return resumes the cleanup, never a copy over it.
    bool resumeCleanup = false;

    QJsonObject toJson() const;
    // Nothing when a required key is missing, a value has the wrong type or an enum is unknown;
    // `error` then says which.
    static std::optional<MoveManifest> fromJson(const QJsonObject &object,
                                                QString *error = nullptr);

    bool operator==(const MoveManifest &) const = default;
};

// The in-memory wrapper the job lists show.
// Newest startedAt first; equal times keep their order.
void sortNewestFirst(QList<MoveManifest> &manifests);

struct MoveJob {
    MoveManifest manifest;

    QUuid id() const { return manifest.id; }
    QString statusLabel() const { return manifest.statusMessage.value_or(label(manifest.phase)); }
    bool operator==(const MoveJob &) const = default;
};

} // namespace quindle
