#pragma once

#include "transfers/CredentialSaver.h"
#include "transfers/Remote.h"

#include <QList>
#include <QString>

#include <optional>

namespace quindle {

enum class SftpAuthMethod { Password, PrivateKey };

// The Add Account sheet's credential forms (S3, SFTP, FTP) as values, checked before rclone
// runs: rclone itself would silently replace an account of the same name, accept an SFTP
// account without a host and trim the name it stores.
struct AccountForm {
    QString type; // "s3", "sftp" or "ftp"
    QString nickname;

    // S3
    int providerIndex = 0; // into S3Provider::all()
    QString accessKeyId;
    QString secretAccessKey;
    QString region;
    QString endpoint;
    bool pathStyle = false;

    // SFTP and FTP
    QString host;
    QString port; // empty: the protocol's own
    QString user;
    QString password;
    SftpAuthMethod authMethod = SftpAuthMethod::Password;
    QString keyFile;
    QString keyPassphrase;
    bool acceptPlaintext = false; // FTP's consent

    // A form for `type` with the first provider's defaults.
    static AccountForm forType(const QString &type);
    // Selects a provider and takes its region and path style.
    void chooseProvider(int index);

    // The first reason the form cannot be saved, as a sentence; nothing when it can.
    std::optional<QString> problem(const QList<Remote> &existing) const;
    // What saving writes; call only when problem() is empty.
    AccountRequest request() const;

    static QString ftpConsentText();
    static QString ftpWarningTitle();
    static QString ftpWarningText();
};

// The nickname's own rule (rclone's, narrowed to ASCII); nothing when it is usable.
std::optional<QString> nicknameProblem(const QString &nickname, const QList<Remote> &existing);

} // namespace quindle
