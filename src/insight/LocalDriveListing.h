#pragma once

#include "insight/DriveSelection.h"
#include "platform/BlockDevices.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quindle {

// Where the listing learns about the machine's drives: the system by default, stand-ins in
// tests.
struct DriveProbe {
    std::function<std::optional<QList<platform::MountEntry>>()> mountTable = platform::mountTable;
    std::function<std::optional<platform::BlockDevice>(const QString &)> blockDevice =
        platform::blockDevice;
    std::function<std::optional<platform::DiskSpace>(const QString &)> diskSpace =
        platform::diskSpace;
};

// The external drives, found without the service: the setup wizard offers them before the
// service is installed. Same records, same filtering as the service's `list-drives`.
class LocalDriveListing : public QObject {
    Q_OBJECT
public:
    explicit LocalDriveListing(QObject *parent = nullptr);

    // Lists again in the background; the answer arrives with changed().
    void refresh();

    bool isListing() const { return m_listing; }
    const QList<Drive> &drives() const { return m_drives; }
    // "Looking for external drives…" while listing, "No external drives are plugged in." after
    // a listing that found none, else empty.
    QString statusText() const;
    // What to do about an empty listing; empty otherwise.
    QString emptyHint() const;

    // "Couldn't prep drive: " + the error of preparing the chosen drive.
    static QString prepFailureText(const QString &error);

    // The listing itself, blocking: mounts directly under `volumesRoot` plus removable and
    // hot-plugged mounts elsewhere, without anything on the disk that holds `home`, internal
    // disks, hidden names and backup volumes.
    static QList<Drive> list(const QString &volumesRoot, const QString &home,
                             const QString &currentPath, const DriveProbe &probe = {});
    // The same for this machine and the configured drive.
    static QList<Drive> list();

Q_SIGNALS:
    void changed();

private:
    bool m_listing = false;
    bool m_listed = false;
    quint64 m_run = 0;
    QList<Drive> m_drives;
};

} // namespace quindle
