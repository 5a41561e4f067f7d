#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quindle {

// A configured rclone remote: an account. Transfer paths name it as "<name>:<path>".
struct Remote {
    QString name; // the nickname
    QString type; // rclone's backend type; every Google Photos spelling reads "googlephotos"

    QString rootPath() const { return name + QLatin1Char(':'); }
    bool operator==(const Remote &) const = default;
};

// A kind of account the Add Account sheet offers; `oauth` means a browser sign-in.
struct RemoteType {
    QString id;
    QString name;
    QString icon;
    bool oauth = false;

    bool operator==(const RemoteType &) const = default;
};

// The outcome of a connection test.
struct RemoteTestResult {
    bool ok = false;
    QString message;
};

// "Google Drive" for "drive" …; any other type with its first letter capitalised.
QString remoteTypeDisplayName(const QString &type);

// The account helper's outputs; nothing when the text is not the expected JSON.
std::optional<QList<Remote>> decodeRemotes(const QByteArray &json);
std::optional<QList<RemoteType>> decodeRemoteTypes(const QByteArray &json);
std::optional<RemoteTestResult> decodeRemoteTest(const QByteArray &json);

} // namespace quindle
