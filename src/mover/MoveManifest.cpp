#include "mover/MoveManifest.h"

#include "core/JsonFields.h"
#include "core/JsonFormat.h"

#include <algorithm>
#include <array>

namespace quindle {

namespace {

struct PhaseText {
    MovePhase phase;
    const char *raw;
    const char *label;
};

constexpr std::array<PhaseText, 9> kPhases{{
    {MovePhase::Writing, "writing", "Queued"},
    {MovePhase::Copying, "copying", "Copying"},
    {MovePhase::Hashing, "hashing", "Hashing for integrity check"},
    {MovePhase::Verifying, "verifying", "Comparing hashes"},
    {MovePhase::CleaningUp, "cleaningUp", "Removing source"},
    {MovePhase::Done, "done", "Completed"},
    {MovePhase::Cancelled, "cancelled", "Cancelled"},
    {MovePhase::Failed, "failed", "Failed"},
    {MovePhase::WaitingForDrive, "waitingForDrive", "Waiting for drive"},
}};

const PhaseText &textOf(MovePhase phase) {
    for (const PhaseText &text : kPhases)
        if (text.phase == phase)
            return text;
    return kPhases.front();
}

void insertIfPresent(QJsonObject &object, const char *key, const std::optional<QString> &value) {
    if (value)
        object.insert(QLatin1String(key), *value);
}

} // namespace

QString rawValue(MovePhase phase) {
    return QLatin1String(textOf(phase).raw);
}

std::optional<MovePhase> movePhaseFromRaw(const QString &raw) {
    for (const PhaseText &text : kPhases)
        if (raw == QLatin1String(text.raw))
            return text.phase;
    return std::nullopt;
}

QString label(MovePhase phase) {
    return QLatin1String(textOf(phase).label);
}

bool isTerminal(MovePhase phase) {
    return phase == MovePhase::Done || phase == MovePhase::Cancelled || phase == MovePhase::Failed;
}

QString rawValue(MoveConflictPolicy policy) {
    return policy == MoveConflictPolicy::Merge ? QStringLiteral("merge")
                                               : QStringLiteral("override");
}

std::optional<MoveConflictPolicy> conflictPolicyFromRaw(const QString &raw) {
    if (raw == QLatin1String("merge"))
        return MoveConflictPolicy::Merge;
    if (raw == QLatin1String("override"))
        return MoveConflictPolicy::Override;
    return std::nullopt;
}

QString uuidText(const QUuid &id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject MoveManifest::toJson() const {
    QJsonObject object{
        {QStringLiteral("id"), uuidText(id)},
        {QStringLiteral("version"), version},
        {QStringLiteral("src"), src},
        {QStringLiteral("dstParent"), dstParent},
        {QStringLiteral("finalDst"), finalDst},
        {QStringLiteral("srcSizeKB"), srcSizeKB},
        {QStringLiteral("startedAt"), isoDate(startedAt)},
        {QStringLiteral("updatedAt"), isoDate(updatedAt)},
        {QStringLiteral("phase"), rawValue(phase)},
        {QStringLiteral("fractionAtLastWrite"), fractionAtLastWrite},
        {QStringLiteral("conflictPolicy"), rawValue(conflictPolicy)},
        {QStringLiteral("replaceSourceWithSymlink"), replaceSourceWithSymlink},
    };
    insertIfPresent(object, "driveUUID", driveUUID);
    if (completedAt)
        object.insert(QStringLiteral("completedAt"), isoDate(*completedAt));
    insertIfPresent(object, "lastError", lastError);
    insertIfPresent(object, "srcContentHash", srcContentHash);
    insertIfPresent(object, "dstContentHash", dstContentHash);
    insertIfPresent(object, "statusMessage", statusMessage);
    if (resumeCleanup)
        object.insert(QStringLiteral("resumeCleanup"), true);
    return object;
}

std::optional<MoveManifest> MoveManifest::fromJson(const QJsonObject &object, QString *error) {
    JsonFields fields(object);
    MoveManifest manifest;
    const QString idText = fields.requiredString(QStringLiteral("id"));
    manifest.id = QUuid::fromString(idText);
    manifest.version = static_cast<int>(fields.integerOr(QStringLiteral("version"), 1));
    manifest.src = fields.requiredString(QStringLiteral("src"));
    manifest.dstParent = fields.requiredString(QStringLiteral("dstParent"));
    manifest.finalDst = fields.requiredString(QStringLiteral("finalDst"));
    manifest.driveUUID = fields.optionalString(QStringLiteral("driveUUID"));
    manifest.srcSizeKB = fields.integerOr(QStringLiteral("srcSizeKB"), 0);
    manifest.startedAt = fields.requiredDate(QStringLiteral("startedAt"));
    manifest.updatedAt = fields.requiredDate(QStringLiteral("updatedAt"));
    manifest.completedAt = fields.optionalDate(QStringLiteral("completedAt"));
    const auto phase = fields.requiredEnum<MovePhase>(QStringLiteral("phase"), movePhaseFromRaw);
    manifest.lastError = fields.optionalString(QStringLiteral("lastError"));
    manifest.fractionAtLastWrite = fields.numberOr(QStringLiteral("fractionAtLastWrite"), 0);
    manifest.srcContentHash = fields.optionalString(QStringLiteral("srcContentHash"));
    manifest.dstContentHash = fields.optionalString(QStringLiteral("dstContentHash"));
    manifest.statusMessage = fields.optionalString(QStringLiteral("statusMessage"));
    const auto policy = fields.enumOr<MoveConflictPolicy>(
        QStringLiteral("conflictPolicy"), MoveConflictPolicy::Merge, conflictPolicyFromRaw);
    manifest.replaceSourceWithSymlink =
        fields.boolOr(QStringLiteral("replaceSourceWithSymlink"), false);
    manifest.resumeCleanup = fields.boolOr(QStringLiteral("resumeCleanup"), false);

    QString problem = fields.error();
    if (problem.isEmpty() && manifest.id.isNull())
        problem = QStringLiteral("The key “id” is not a UUID.");
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return std::nullopt;
    }
    manifest.phase = *phase;
    manifest.conflictPolicy = *policy;
    return manifest;
}

void sortNewestFirst(QList<MoveManifest> &manifests) {
    std::stable_sort(
        manifests.begin(), manifests.end(),
        [](const MoveManifest &a, const MoveManifest &b) { return a.startedAt > b.startedAt; });
}

} // namespace quindle
