#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace quindle {

// The raw names are part of the manifest file format.
enum class AppMovePhase {
    Writing,
    Copying,
    Verifying,
    Linking,
    Done,
    Cancelled,
    Failed,
    WaitingForDrive
};

QString rawValue(AppMovePhase phase);
std::optional<AppMovePhase> appMovePhaseFromRaw(const QString &raw);
// done, cancelled, failed
bool isTerminal(AppMovePhase phase);
// copying, verifying, linking: the jobs that take one of the two slots
bool isActive(AppMovePhase phase);

enum class AppMoveDirection { ToNVMe, FromNVMe };

// One app move as it is persisted; rewritten at every phase change.
struct AppMoveManifest {
    QUuid id;
    int version = 1;
    QString originalPath;
    QString nvmePath; // <NVMe>/Apps/<folder name>
    std::optional<QString> bundleID;
    QString displayName;
    std::optional<QString> driveUUID;
    qint64 srcSizeKB = 0;
    QDateTime startedAt;
    QDateTime updatedAt;
    std::optional<QDateTime> completedAt;
    AppMovePhase phase = AppMovePhase::Writing;
    std::optional<QString> lastError;
    std::optional<QString> statusMessage;
    double fractionAtLastWrite = 0;
    std::optional<QString> srcContentHash;
    std::optional<QString> dstContentHash;
    // Written so that a move interrupted between swapping and tidying resumes the right way;
    // a record without it is read as the link at originalPath tells.
    std::optional<AppMoveDirection> direction;

    QJsonObject toJson() const;
    static std::optional<AppMoveManifest> fromJson(const QJsonObject &object);

    // The recorded direction, else fromNVMe when originalPath is a link.
    AppMoveDirection inferredDirection() const;
    // originalPath + ".restoring": where a move back copies to.
    QString sidecarPath() const { return originalPath + QStringLiteral(".restoring"); }
    // The app's key in the live activity list.
    QString appKey() const;

    bool operator==(const AppMoveManifest &) const = default;
};

// One app living on the NVMe behind a link at its original place.
struct MovedApp {
    std::optional<QString> bundleID;
    QString originalPath;
    QString nvmePath;
    QString displayName;
    qint64 sizeBytes = 0;
    QDateTime movedAt;

    QJsonObject toJson() const;
    static std::optional<MovedApp> fromJson(const QJsonObject &object);
    bool operator==(const MovedApp &) const = default;
};

// Why the relocator refused a request; nothing was recorded.
struct AppRelocateError {
    enum class Kind {
        DestinationAlreadyExists,
        SourceMissing,
        OriginalPathBlocked,
        NVMeNotMounted,
        AlreadyMoved,
        RefusedPackageManaged,
        DriveNoExec,
        DriveWithoutPermissions,
        NotMovable, // the app's own verdict; `detail` is its sentence
        Quitting
    };
    Kind kind = Kind::NVMeNotMounted;
    QString detail; // the path, file system type or sentence the message names

    QString message() const;
};

} // namespace quindle
