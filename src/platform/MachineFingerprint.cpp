#include "platform/MachineFingerprint.h"

#include <QFile>
#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <cctype>

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace quindle::platform {

namespace {

constexpr int idBytes = 16;

std::optional<QByteArray> machineId(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.read(64).trimmed();
    const bool allHex = std::all_of(text.cbegin(), text.cend(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
    if (text.size() != 2 * idBytes || !allHex)
        return std::nullopt;
    // An all-zero ID is one not yet initialised.
    const QByteArray id = QByteArray::fromHex(text);
    if (id.count('\0') == idBytes)
        return std::nullopt;
    return id;
}

} // namespace

std::optional<QByteArray> appSpecificMachineId(const QByteArray &appId) {
    const std::optional<QByteArray> id = machineId(QStringLiteral("/etc/machine-id"));
    if (!id || appId.size() != idBytes)
        return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (!HMAC(EVP_sha256(), id->constData(), idBytes,
              reinterpret_cast<const unsigned char *>(appId.constData()), idBytes, digest,
              &digestLength))
        return std::nullopt;
    QByteArray uuid(reinterpret_cast<const char *>(digest), idBytes);
    uuid[6] = static_cast<char>((uuid[6] & 0x0F) | 0x40); // version 4
    uuid[8] = static_cast<char>((uuid[8] & 0x3F) | 0x80); // the RFC 4122 variant
    return uuid.toHex();
}

std::optional<QString> machineIdentifier() {
    const QString override = qEnvironmentVariable("QUINDLE_MACHINE_ID_FILE");
    const QStringList files = override.isEmpty()
                                  ? QStringList{QStringLiteral("/etc/machine-id"),
                                                QStringLiteral("/var/lib/dbus/machine-id")}
                                  : QStringList{override};
    for (const QString &file : files)
        if (const std::optional<QByteArray> id = machineId(file))
            return QString::fromLatin1(id->toHex());
    return std::nullopt;
}

std::optional<QString> machineUUID(const QString &machineIdFile) {
    const std::optional<QByteArray> id = machineId(machineIdFile);
    if (!id)
        return std::nullopt;
    return QUuid::fromRfc4122(*id).toString(QUuid::WithoutBraces).toUpper();
}

} // namespace quindle::platform
