#include "apps/AppMoveManifest.h"

#include "core/JsonFields.h"
#include "core/JsonFormat.h"
#include "mover/MoveManifest.h"

#include <QFileInfo>

#include <array>

namespace quindle {

namespace {

struct PhaseName {
    AppMovePhase phase;
    const char *raw;
};

constexpr std::array<PhaseName, 8> kPhases{{
    {AppMovePhase::Writing, "writing"},
    {AppMovePhase::Copying, "copying"},
    {AppMovePhase::Verifying, "verifying"},
    {AppMovePhase::Linking, "linking"},
    {AppMovePhase::Done, "done"},
    {AppMovePhase::Cancelled, "cancelled"},
    {AppMovePhase::Failed, "failed"},
    {AppMovePhase::WaitingForDrive, "waitingForDrive"},
}};

void insertIfPresent(QJsonObject &object, const char *key, const std::optional<QString> &value) {
    if (value)
        object.insert(QLatin1String(key), *value);
}

} // namespace

QString rawValue(AppMovePhase phase) {
    for (const PhaseName &name : kPhases)
        if (name.phase == phase)
            return QLatin1String(name.raw);
    return {};
}

std::optional<AppMovePhase> appMovePhaseFromRaw(const QString &raw) {
    for (const PhaseName &name : kPhases)
        if (raw == QLatin1String(name.raw))
            return name.phase;
    return std::nullopt;
}

bool isTerminal(AppMovePhase phase) {
    return phase == AppMovePhase::Done || phase == AppMovePhase::Cancelled ||
           phase == AppMovePhase::Failed;
}

bool isActive(AppMovePhase phase) {
    return phase == AppMovePhase::Copying || phase == AppMovePhase::Verifying ||
           phase == AppMovePhase::Linking;
}

QJsonObject AppMoveManifest::toJson() const {
    QJsonObject object{
        {QStringLiteral("id"), uuidText(id)},
        {QStringLiteral("version"), version},
        {QStringLiteral("originalPath"), originalPath},
        {QStringLiteral("nvmePath"), nvmePath},
        {QStringLiteral("displayName"), displayName},
        {QStringLiteral("srcSizeKB"), srcSizeKB},
        {QStringLiteral("startedAt"), isoDate(startedAt)},
        {QStringLiteral("updatedAt"), isoDate(updatedAt)},
        {QStringLiteral("phase"), rawValue(phase)},
        {QStringLiteral("fractionAtLastWrite"), fractionAtLastWrite},
    };
    insertIfPresent(object, "bundleID", bundleID);
    insertIfPresent(object, "driveUUID", driveUUID);
    if (completedAt)
        object.insert(QStringLiteral("completedAt"), isoDate(*completedAt));
    insertIfPresent(object, "lastError", lastError);
    insertIfPresent(object, "statusMessage", statusMessage);
    insertIfPresent(object, "srcContentHash", srcContentHash);
    insertIfPresent(object, "dstContentHash", dstContentHash);
    if (direction)
        object.insert(QStringLiteral("direction"), *direction == AppMoveDirection::ToNVMe
                                                       ? QStringLiteral("toNVMe")
                                                       : QStringLiteral("fromNVMe"));
    return object;
}

std::optional<AppMoveManifest> AppMoveManifest::fromJson(const QJsonObject &object) {
    JsonFields fields(object);
    AppMoveManifest m;
    m.id = QUuid::fromString(fields.requiredString(QStringLiteral("id")));
    m.version = static_cast<int>(fields.requiredInteger(QStringLiteral("version")));
    m.originalPath = fields.requiredString(QStringLiteral("originalPath"));
    m.nvmePath = fields.requiredString(QStringLiteral("nvmePath"));
    m.bundleID = fields.optionalString(QStringLiteral("bundleID"));
    m.displayName = fields.requiredString(QStringLiteral("displayName"));
    m.driveUUID = fields.optionalString(QStringLiteral("driveUUID"));
    m.srcSizeKB = fields.requiredInteger(QStringLiteral("srcSizeKB"));
    m.startedAt = fields.requiredDate(QStringLiteral("startedAt"));
    m.updatedAt = fields.requiredDate(QStringLiteral("updatedAt"));
    m.completedAt = fields.optionalDate(QStringLiteral("completedAt"));
    const auto phase =
        fields.requiredEnum<AppMovePhase>(QStringLiteral("phase"), appMovePhaseFromRaw);
    m.lastError = fields.optionalString(QStringLiteral("lastError"));
    m.statusMessage = fields.optionalString(QStringLiteral("statusMessage"));
    m.fractionAtLastWrite = fields.numberOr(QStringLiteral("fractionAtLastWrite"), -1);
    m.srcContentHash = fields.optionalString(QStringLiteral("srcContentHash"));
    m.dstContentHash = fields.optionalString(QStringLiteral("dstContentHash"));
    const std::optional<QString> direction = fields.optionalString(QStringLiteral("direction"));
    if (!fields.error().isEmpty() || m.id.isNull() || m.fractionAtLastWrite < 0 || !phase)
        return std::nullopt;
    if (direction == QLatin1String("toNVMe"))
        m.direction = AppMoveDirection::ToNVMe;
    else if (direction == QLatin1String("fromNVMe"))
        m.direction = AppMoveDirection::FromNVMe;
    m.phase = *phase;
    return m;
}

AppMoveDirection AppMoveManifest::inferredDirection() const {
    if (direction)
        return *direction;
    return QFileInfo(originalPath).isSymLink() ? AppMoveDirection::FromNVMe
                                               : AppMoveDirection::ToNVMe;
}

QString AppMoveManifest::appKey() const {
    if (inferredDirection() == AppMoveDirection::FromNVMe)
        return originalPath;
    return bundleID.value_or(originalPath);
}

QJsonObject MovedApp::toJson() const {
    QJsonObject object{
        {QStringLiteral("originalPath"), originalPath}, {QStringLiteral("nvmePath"), nvmePath},
        {QStringLiteral("displayName"), displayName},   {QStringLiteral("sizeBytes"), sizeBytes},
        {QStringLiteral("movedAt"), isoDate(movedAt)},
    };
    insertIfPresent(object, "bundleID", bundleID);
    return object;
}

std::optional<MovedApp> MovedApp::fromJson(const QJsonObject &object) {
    JsonFields fields(object);
    MovedApp moved;
    moved.bundleID = fields.optionalString(QStringLiteral("bundleID"));
    moved.originalPath = fields.requiredString(QStringLiteral("originalPath"));
    moved.nvmePath = fields.requiredString(QStringLiteral("nvmePath"));
    moved.displayName = fields.requiredString(QStringLiteral("displayName"));
    moved.sizeBytes = fields.requiredInteger(QStringLiteral("sizeBytes"));
    moved.movedAt = fields.requiredDate(QStringLiteral("movedAt"));
    if (!fields.error().isEmpty())
        return std::nullopt;
    return moved;
}

QString AppRelocateError::message() const {
    switch (kind) {
    case Kind::DestinationAlreadyExists:
        return QStringLiteral("An app folder already exists at %1. Remove it manually before "
                              "retrying.")
            .arg(detail);
    case Kind::SourceMissing:
        return QStringLiteral("Source app folder missing: %1.").arg(detail);
    case Kind::OriginalPathBlocked:
        return QStringLiteral("Something else now exists at %1 and isn't a symlink we own. "
                              "Refusing to overwrite.")
            .arg(detail);
    case Kind::NVMeNotMounted:
        return QStringLiteral("NVMe drive is not mounted. Plug it in and try again.");
    case Kind::AlreadyMoved:
        return QStringLiteral("App is already relocated to NVMe.");
    case Kind::RefusedPackageManaged:
        return QStringLiteral("Package-managed apps are not relocatable (auto-update path "
                              "safety).");
    case Kind::DriveNoExec:
        return QStringLiteral("The NVMe is mounted noexec, so apps on it could not run.");
    case Kind::DriveWithoutPermissions:
        return QStringLiteral("The NVMe's file system (%1) keeps no Unix permissions, so a moved "
                              "app would lose its executable bits.")
            .arg(detail);
    case Kind::NotMovable:
        return detail;
    case Kind::Quitting:
        return QStringLiteral("Quindle is quitting.");
    }
    return {};
}

} // namespace quindle
