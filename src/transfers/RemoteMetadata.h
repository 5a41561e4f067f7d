#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// What the application itself knows about an account, beside rclone's configuration.
struct RemoteMetadataRecord {
    QString remoteName;
    QString displayName;
    QDateTime createdAt;
    std::optional<QDateTime> lastUsedAt;
    QStringList acknowledgedWarnings; // "ftp-plaintext"

    bool operator==(const RemoteMetadataRecord &) const = default;
};

// remote-metadata.json in the state folder, mirrored to the drive: a copy on the drive outlives
// the internal one. Read whole and written whole on every change.
class RemoteMetadata {
public:
    using Records = QMap<QString, RemoteMetadataRecord>; // by remote name

    static QString basename();

    // The internal copy, else the drive's when the internal one cannot be read; empty when
    // neither can.
    static Records load();
    static bool save(const Records &records);

    // Sets a record's display name and warnings, creating it (created now) when it is new.
    static bool record(const QString &remoteName, const QString &displayName,
                       const QStringList &acknowledgedWarnings);
    static bool forget(const QString &remoteName);

    static QByteArray encode(const Records &records);
    // Nothing when the bytes are not a metadata file; records that do not decode are skipped.
    static std::optional<Records> decode(const QByteArray &bytes);
};

} // namespace quindle
