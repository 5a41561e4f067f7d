#include "transfers/CredentialSaver.h"

#include "core/BackgroundPool.h"
#include "transfers/RcloneClient.h"
#include "transfers/RemoteMetadata.h"
#include "transfers/SecretVault.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quindle::CredentialSaver {

QString vaultScope(const QString &nickname) {
    return QStringLiteral("remote.") + nickname;
}

std::optional<QString> saveBlocking(const AccountRequest &request) {
    // Without rclone the account could never be created: its secrets would only linger.
    if (RcloneClient::locate().isEmpty())
        return RcloneClient::notInstalledText();
    const QString scope = vaultScope(request.nickname);
    for (const VaultEntry &entry : request.vaultEntries) {
        if (entry.value.isEmpty())
            continue;
        if (const std::optional<VaultError> error = SecretVault::set(scope, entry.key, entry.value))
            return QStringLiteral("Couldn't write to the credential vault: ") + error->text();
    }
    const RcloneWriteResult created = RcloneConfigWriter::createBlocking(
        request.nickname, request.rcloneType, request.rcloneOptions);
    if (!created.success) {
        SecretVault::purge(scope);
        return QStringLiteral("rclone config create failed.\n\n") + created.output;
    }
    RemoteMetadata::record(request.nickname, request.displayName, request.acknowledgedWarnings);
    return std::nullopt;
}

QFuture<std::optional<QString>> save(const AccountRequest &request) {
    return QtConcurrent::run(blockingPool(), [request] { return saveBlocking(request); });
}

} // namespace quindle::CredentialSaver
