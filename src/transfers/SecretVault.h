#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>
#include <variant>

namespace quindle {

// Why the vault could not be used; text() is what a person reads.
struct VaultError {
    enum class Kind {
        DecryptFailed,
        EncryptFailed,
        UnsupportedVersion,
        Corrupted,
        KeyringUnavailable,
        FileError
    };

    Kind kind;
    QString detail; // the version, the corruption, or the sentence of a file error

    static VaultError corrupted(const QString &detail) { return {Kind::Corrupted, detail}; }
    QString text() const;
};

// The credentials typed into the account forms: scope ("remote.<nickname>") → key → value,
// encrypted with AES-256-GCM under a key derived from this computer's identifier and a random
// pepper, so the file opens only here. The pepper lives in the desktop keyring where the session
// has one (the vault file then says so), else in ~/.quindle/secrets/.pepper. Every operation reads
// the file, changes it and writes it back under a lock file, so two processes never lose each
// other's change.
class SecretVault {
public:
    using Database = QMap<QString, QMap<QString, QString>>;
    template <typename T> using Result = std::variant<T, VaultError>;

    // QDSecretVaultPath from the preferences (a leading ~ expanded), else
    // ~/.quindle/secrets/vault.enc.
    static QString vaultPath();
    static QString secretsDirectory();
    static QString pepperPath();

    static std::optional<VaultError> set(const QString &scope, const QString &key,
                                         const QString &value);
    static std::optional<VaultError> purge(const QString &scope);
    static Result<std::optional<QString>> get(const QString &scope, const QString &key);
    static Result<Database> load();

    // "Reset Vault": the vault file and the pepper are moved aside as <name>.reset-<timestamp>,
    // so a mistaken reset can still be undone by hand, and the keyring forgets its pepper. Returns
    // the reason when a move failed.
    static std::optional<QString> reset();

    // The 32-byte key for `identifier` and `pepper`; exposed so a test can check it from outside.
    static QByteArray deriveKey(const QByteArray &identifier, const QByteArray &pepper);
};

} // namespace quindle
