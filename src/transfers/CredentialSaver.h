#pragma once

#include "transfers/RcloneConfigWriter.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quindle {

// A secret the account keeps in the credential vault, under "remote.<nickname>".
struct VaultEntry {
    QString key;
    QString value;
};

// Everything one new account writes.
struct AccountRequest {
    QString nickname;
    QString rcloneType;
    QList<RcloneOption> rcloneOptions;
    QList<VaultEntry> vaultEntries;
    QString displayName;
    QStringList acknowledgedWarnings;
};

// Adds an account: its secrets to the vault, its configuration through rclone, its record to the
// metadata. A failure leaves no secret of that account behind.
namespace CredentialSaver {

QString vaultScope(const QString &nickname); // "remote.<nickname>"

// The failure message, or nothing on success. Blocks: call it off the main thread.
std::optional<QString> saveBlocking(const AccountRequest &request);
QFuture<std::optional<QString>> save(const AccountRequest &request);

} // namespace CredentialSaver

} // namespace quindle
