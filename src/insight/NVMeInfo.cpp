#include "insight/NVMeInfo.h"

#include "core/DriveIdentity.h"
#include "core/JsonFields.h"
#include "platform/DesktopNouns.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quindle {

std::optional<NVMeInfo> NVMeInfo::decode(const QByteArray &json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    JsonFields f(document.object());
    const auto key = [](const char *name) { return QLatin1String(name); };
    NVMeInfo info;
    info.mount_path = f.requiredString(key("mount_path"));
    info.mounted = f.requiredBool(key("mounted"));
    info.marker_ok = f.requiredBool(key("marker_ok"));
    info.filesystem = f.requiredString(key("filesystem"));
    info.volume_uuid = f.requiredString(key("volume_uuid"));
    info.device = f.requiredString(key("device"));
    info.free_gb = f.optionalInteger(key("free_gb"));
    info.total_gb = f.optionalInteger(key("total_gb"));
    info.marker_initialized = f.requiredString(key("marker_initialized"));
    info.marker_host = f.requiredString(key("marker_host"));
    info.fstab_pin = f.requiredBool(key("fstab_pin"));
    info.internal_free_gb = f.requiredInteger(key("internal_free_gb"));
    info.internal_total_gb = f.requiredInteger(key("internal_total_gb"));
    return f.ok() ? std::optional(info) : std::nullopt;
}

NVMeInspection NVMeInspection::from(const NVMeInfo &info) {
    NVMeInspection view;
    if (!info.mounted) {
        view.tone = Tone::Bad;
        view.headline = QStringLiteral("Not mounted");
        view.subtitle =
            QStringLiteral("Plug in the drive or click Remount in ") + platform::trayAppName();
    } else if (info.marker_ok) {
        view.tone = Tone::Good;
        view.headline = QStringLiteral("Verified");
        view.subtitle =
            QStringLiteral("UUID matches; marker file present at ") + markerFile(info.mount_path);
    } else {
        view.tone = Tone::Warning;
        view.headline = QStringLiteral("Mounted, marker missing");
        view.subtitle = QStringLiteral("Disk at %1 is not the prepped NVMe").arg(info.mount_path);
    }

    const auto yesNo = [](bool value) {
        return value ? QStringLiteral("Yes") : QStringLiteral("No");
    };
    QList<Row> &rows = view.rows;
    rows << Row{QStringLiteral("Mount path"), info.mount_path};
    rows << Row{QStringLiteral("Mounted"), yesNo(info.mounted)};
    if (!info.filesystem.isEmpty())
        rows << Row{QStringLiteral("Filesystem"), info.filesystem};
    if (!info.device.isEmpty())
        rows << Row{QStringLiteral("Device"), info.device};
    if (!info.volume_uuid.isEmpty())
        rows << Row{QStringLiteral("Volume UUID"), info.volume_uuid, true};
    rows << Row{QStringLiteral("Marker file"),
                info.marker_ok ? QStringLiteral("Present") : QStringLiteral("Missing")};
    if (info.marker_ok) {
        rows << Row{QStringLiteral("Initialized"), info.marker_initialized};
        rows << Row{QStringLiteral("Host"), info.marker_host};
    }
    rows << Row{QStringLiteral("fstab pin"),
                info.fstab_pin ? QStringLiteral("Active") : QStringLiteral("Not pinned")};
    if (info.free_gb && info.total_gb && *info.total_gb >= 1)
        rows << Row{
            QStringLiteral("NVMe space"),
            QStringLiteral("%1 GB free / %2 GB total").arg(*info.free_gb).arg(*info.total_gb)};
    rows << Row{QStringLiteral("Internal"), QStringLiteral("%1 GB free / %2 GB total")
                                                .arg(info.internal_free_gb)
                                                .arg(info.internal_total_gb)};
    return view;
}

} // namespace quindle
