#include "core/DriveIdentity.h"

#include "core/AtomicFile.h"
#include "core/ServiceStatus.h"
#include "platform/HostIdentity.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace quindle {

std::optional<QString> currentDriveUUID() {
    const StatusFileKeys status = StatusFileKeys::read();
    if (status.nvmeUUID && !status.nvmeUUID->isEmpty())
        return status.nvmeUUID;
    if (status.volumeUUID && !status.volumeUUID->isEmpty())
        return status.volumeUUID;
    if (!status.nvmePath)
        return std::nullopt;
    const std::optional<QByteArray> marker = readWholeFile(markerFile(*status.nvmePath));
    if (!marker)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(*marker);
    if (decoder.hasError())
        return std::nullopt;
    return markerVolumeUUID(text);
}

std::optional<QString> markerVolumeUUID(const QString &markerText) {
    for (const QString &line : markerText.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || equals == line.size() - 1)
            continue; // splitting must give two non-empty pieces
        if (line.left(equals) == QLatin1String("volume_uuid"))
            return line.mid(equals + 1);
    }
    return std::nullopt;
}

QString WorkingFolder::sanitisedName(const QString &displayName) {
    QString name = displayName;
    if (name.endsWith(QLatin1String(".local")))
        name.chop(6);
    name.replace(QLatin1Char(' '), QLatin1Char('-'));
    name.remove(QLatin1Char('\''));
    name.remove(QChar(0x2019));
    name.remove(QLatin1Char('"'));
    while (name.contains(QLatin1String("--")))
        name.replace(QLatin1String("--"), QLatin1String("-"));
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    while (name.endsWith(QLatin1Char('-')))
        name.chop(1);
    return name.isEmpty() ? QStringLiteral("Computer") : name;
}

QString WorkingFolder::path(const QString &root) {
    return root + QStringLiteral("/QNDL-") + sanitisedName(platform::computerDisplayName());
}

QString WorkingFolder::ensure(const QString &root) {
    const QString folder = path(root);
    if (!QFileInfo(folder).isDir())
        QDir().mkpath(folder);
    return folder;
}

QString markerFile(const QString &root) {
    return WorkingFolder::path(root) + QStringLiteral("/.tarnel-managed");
}

} // namespace quindle
