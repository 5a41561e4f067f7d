#include "platform/BlockDevices.h"

#include "platform/ChildProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quindle::platform {

namespace {

// Standard output of a tool that ended well within its time; nothing otherwise.
std::optional<QByteArray> runTool(const QString &program, const QStringList &arguments) {
    ChildCommand tool{program, arguments};
    tool.deadline = std::chrono::seconds(10);
    ChildResult result = ChildProcess::run(tool);
    if (!result.succeeded())
        return std::nullopt;
    return std::move(result.output);
}

QString stringOf(const QJsonObject &object, const char *key) {
    return object.value(QLatin1String(key)).toString();
}

// lsblk writes flags as booleans, older releases as "0"/"1".
bool flagOf(const QJsonObject &object, const char *key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isBool())
        return value.toBool();
    return value.toString() == QLatin1String("1") || value.toInt() == 1;
}

bool isAllZeroUUID(const QString &uuid) {
    for (const QChar c : uuid) {
        if (c != QLatin1Char('0') && c != QLatin1Char('-'))
            return false;
    }
    return true;
}

std::optional<QJsonObject> firstBlockDevice(const QByteArray &json) {
    const QJsonArray devices =
        QJsonDocument::fromJson(json).object().value(QLatin1String("blockdevices")).toArray();
    if (devices.isEmpty() || !devices.first().isObject())
        return std::nullopt;
    return devices.first().toObject();
}

std::optional<QByteArray> lsblk(const QString &device) {
    return runTool(QStringLiteral("lsblk"),
                   {QStringLiteral("-J"), QStringLiteral("-d"), QStringLiteral("-o"),
                    QStringLiteral("NAME,PKNAME,TRAN,RM,HOTPLUG"), QStringLiteral("--"), device});
}

} // namespace

QList<MountEntry> parseMountTable(const QByteArray &findmntJson) {
    QList<MountEntry> entries;
    const QJsonArray filesystems =
        QJsonDocument::fromJson(findmntJson).object().value(QLatin1String("filesystems")).toArray();
    for (const QJsonValue &value : filesystems) {
        const QJsonObject object = value.toObject();
        MountEntry entry{stringOf(object, "target"), stringOf(object, "source"),
                         stringOf(object, "fstype"), stringOf(object, "uuid")};
        if (entry.target.isEmpty())
            continue;
        if (isAllZeroUUID(entry.uuid))
            entry.uuid.clear();
        entries << entry;
    }
    return entries;
}

std::optional<BlockDevice> parseBlockDevice(const QByteArray &lsblkJson) {
    const std::optional<QJsonObject> object = firstBlockDevice(lsblkJson);
    if (!object)
        return std::nullopt;
    BlockDevice device;
    device.disk = stringOf(*object, "pkname");
    if (device.disk.isEmpty())
        device.disk = stringOf(*object, "name");
    device.transport = stringOf(*object, "tran");
    device.removable = flagOf(*object, "rm");
    device.hotplug = flagOf(*object, "hotplug");
    return device;
}

std::optional<DiskSpace> parseDiskSpace(const QByteArray &dfOutput) {
    const QList<QByteArray> lines = dfOutput.split('\n');
    if (lines.size() < 2)
        return std::nullopt;
    const QList<QByteArray> fields = lines.at(1).simplified().split(' ');
    if (fields.size() < 4)
        return std::nullopt;
    bool totalOk = false;
    bool freeOk = false;
    DiskSpace space{fields.at(1).toLongLong(&totalOk), fields.at(3).toLongLong(&freeOk)};
    if (!totalOk)
        space.totalMB = 0;
    if (!freeOk)
        space.freeMB = 0;
    return space;
}

std::optional<QList<MountEntry>> mountTable() {
    const std::optional<QByteArray> json =
        runTool(QStringLiteral("findmnt"),
                {QStringLiteral("-J"), QStringLiteral("-l"), QStringLiteral("-o"),
                 QStringLiteral("TARGET,SOURCE,FSTYPE,UUID")});
    if (!json)
        return std::nullopt;
    return parseMountTable(*json);
}

std::optional<BlockDevice> blockDevice(const QString &device) {
    if (!device.startsWith(QLatin1String("/dev/")))
        return std::nullopt;
    const std::optional<QByteArray> json = lsblk(device);
    if (!json)
        return std::nullopt;
    std::optional<BlockDevice> result = parseBlockDevice(*json);
    if (!result)
        return std::nullopt;
    const std::optional<QJsonObject> object = firstBlockDevice(*json);
    if (!stringOf(*object, "pkname").isEmpty()) {
        // A partition reports no transport and often no hot-plug flag; its disk does.
        if (const auto diskJson = lsblk(QStringLiteral("/dev/") + result->disk)) {
            if (const std::optional<BlockDevice> disk = parseBlockDevice(*diskJson)) {
                if (result->transport.isEmpty())
                    result->transport = disk->transport;
                result->removable = result->removable || disk->removable;
                result->hotplug = result->hotplug || disk->hotplug;
            }
        }
    }
    return result;
}

std::optional<DiskSpace> diskSpace(const QString &path) {
    const std::optional<QByteArray> output =
        runTool(QStringLiteral("df"),
                {QStringLiteral("-P"), QStringLiteral("-m"), QStringLiteral("--"), path});
    if (!output)
        return std::nullopt;
    return parseDiskSpace(*output);
}

bool isBackupVolumeName(const QString &name) {
    const QString lower = name.toLower();
    return lower.startsWith(QLatin1String("com.apple.timemachine")) ||
           lower.startsWith(QLatin1String("time machine")) ||
           lower.startsWith(QLatin1String("backups of ")) ||
           lower.endsWith(QLatin1String(".sparsebundle")) ||
           lower.endsWith(QLatin1String(".backupbundle"));
}

} // namespace quindle::platform
