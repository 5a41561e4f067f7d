#include "transfers/SecretVault.h"

#include "core/AtomicFile.h"
#include "core/JsonFormat.h"
#include "core/StatePaths.h"
#include "platform/DesktopKeyring.h"
#include "platform/HomeDirectory.h"
#include "platform/MachineFingerprint.h"
#include "platform/PreferencesLocation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <functional>
#include <memory>

namespace quindle {

namespace {

constexpr int keyBytes = 32;
constexpr int nonceBytes = 12;
constexpr int tagBytes = 16;
constexpr int pepperBytes = 32;
// Names the format and its version inside the key, so another format's key never matches.
constexpr char keyLabel[] = "quindle.vault.v1";
static_assert(sizeof(keyLabel) == 17);

constexpr QFileDevice::Permissions ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions ownerOnlyFolder = ownerOnlyFile | QFileDevice::ExeOwner;

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

CipherContext newContext() {
    return {EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free};
}

const unsigned char *bytes(const QByteArray &data) {
    return reinterpret_cast<const unsigned char *>(data.constData());
}
unsigned char *bytes(QByteArray &data) {
    return reinterpret_cast<unsigned char *>(data.data());
}

struct Sealed {
    QByteArray nonce, ciphertext, tag;
};

std::optional<Sealed> seal(const QByteArray &key, const QByteArray &plaintext) {
    Sealed sealed{QByteArray(nonceBytes, '\0'), QByteArray(plaintext.size(), '\0'),
                  QByteArray(tagBytes, '\0')};
    if (RAND_bytes(bytes(sealed.nonce), nonceBytes) != 1)
        return std::nullopt;
    const CipherContext context = newContext();
    int length = 0;
    int finalLength = 0;
    if (!context ||
        EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, bytes(key),
                           bytes(sealed.nonce)) != 1 ||
        EVP_EncryptUpdate(context.get(), bytes(sealed.ciphertext), &length, bytes(plaintext),
                          static_cast<int>(plaintext.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), bytes(sealed.ciphertext) + length, &finalLength) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, tagBytes, bytes(sealed.tag)) != 1)
        return std::nullopt;
    return sealed;
}

std::optional<QByteArray> unseal(const QByteArray &key, Sealed sealed) {
    QByteArray plaintext(sealed.ciphertext.size(), '\0');
    const CipherContext context = newContext();
    int length = 0;
    int finalLength = 0;
    if (!context ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, bytes(key),
                           bytes(sealed.nonce)) != 1 ||
        EVP_DecryptUpdate(context.get(), bytes(plaintext), &length, bytes(sealed.ciphertext),
                          static_cast<int>(sealed.ciphertext.size())) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, tagBytes, bytes(sealed.tag)) !=
            1 ||
        EVP_DecryptFinal_ex(context.get(), bytes(plaintext) + length, &finalLength) != 1)
        return std::nullopt;
    return plaintext;
}

VaultError fileError(const QString &what, const QString &reason) {
    return {VaultError::Kind::FileError, QStringLiteral("%1: %2.").arg(what, reason)};
}

std::optional<VaultError> makePrivateFolder(const QString &folder) {
    if (!QDir().mkpath(folder) || !QFile::setPermissions(folder, ownerOnlyFolder))
        return fileError(QStringLiteral("Couldn't create the folder %1").arg(folder),
                         QStringLiteral("check that it is writable"));
    return std::nullopt;
}

// Written whole and owner-only from the first byte: the temporary file lives in a folder only
// the owner can enter, and its mode is set before it takes the final name. Unbuffered, because a
// buffered QSaveFile takes a short write at close (a full disk, a size limit) for success.
std::optional<QString> writePrivateFile(const QString &path, const QByteArray &data) {
    return writeFileAtomically(path, data, ownerOnlyFile);
}

std::optional<QByteArray> machineKeyMaterial() {
    const std::optional<QString> identifier = platform::machineIdentifier();
    return identifier ? std::optional(identifier->toUtf8()) : std::nullopt;
}

const QString secretServiceName = QStringLiteral("secret_service");

platform::DesktopKeyring keyring() {
    return platform::DesktopKeyring(QStringLiteral("quindle"), QStringLiteral("vault-pepper"));
}

VaultError keyringUnavailable() {
    return {VaultError::Kind::KeyringUnavailable, {}};
}

// Where a new pepper goes: QUINDLE_VAULT_KEYSTORE=file|secret-service, else the keyring when the
// session offers one.
bool newPepperGoesToKeyring() {
    const QString forced = qEnvironmentVariable("QUINDLE_VAULT_KEYSTORE");
    if (forced == QLatin1String("file"))
        return false;
    if (forced == QLatin1String("secret-service"))
        return true;
    return platform::DesktopKeyring::offered();
}

// The pepper and where it is kept, as the vault file names it.
struct Key {
    QByteArray pepper;
    bool inKeyring = false;
};

SecretVault::Result<Key> existingKey(bool inKeyring) {
    if (inKeyring) {
        const platform::DesktopKeyring::Lookup found = keyring().lookup();
        // A locked keyring answers a lookup as if the item did not exist.
        if (found.outcome != platform::DesktopKeyring::Outcome::Done)
            return keyringUnavailable();
        const auto pepper = QByteArray::fromBase64Encoding(found.secret);
        if (!pepper)
            return VaultError{VaultError::Kind::DecryptFailed, {}};
        return Key{pepper.decoded, true};
    }
    QFile file(SecretVault::pepperPath());
    if (!file.open(QIODevice::ReadOnly))
        return VaultError{VaultError::Kind::DecryptFailed, {}};
    return Key{file.readAll(), false};
}

// A vault written for the first time keeps using a pepper file that is already there; otherwise
// a new pepper goes to the keyring, or to the file when the keyring cannot take it now.
SecretVault::Result<Key> newKey() {
    if (QFileInfo::exists(SecretVault::pepperPath()))
        return existingKey(false);
    QByteArray pepper(pepperBytes, '\0');
    if (RAND_bytes(bytes(pepper), pepperBytes) != 1)
        return VaultError{VaultError::Kind::EncryptFailed, {}};
    if (newPepperGoesToKeyring()) {
        const auto stored =
            keyring().store(QStringLiteral("Quindle credential vault key"), pepper.toBase64());
        if (stored == platform::DesktopKeyring::Outcome::Done)
            return Key{pepper, true};
        if (qEnvironmentVariable("QUINDLE_VAULT_KEYSTORE") == QLatin1String("secret-service"))
            return keyringUnavailable();
    }
    if (auto error = makePrivateFolder(SecretVault::secretsDirectory()))
        return *error;
    if (const auto error = writePrivateFile(SecretVault::pepperPath(), pepper))
        return fileError(QStringLiteral("Couldn't write the vault key file"), *error);
    return Key{pepper, false};
}

std::optional<QByteArray> decodeBase64(const QJsonValue &value, qsizetype length = -1) {
    const auto decoded = QByteArray::fromBase64Encoding(value.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || (length >= 0 && decoded.decoded.size() != length))
        return std::nullopt;
    return decoded.decoded;
}

SecretVault::Result<SecretVault::Database> decodeDatabase(const QByteArray &plaintext) {
    const QJsonDocument document = QJsonDocument::fromJson(plaintext);
    if (!document.isObject())
        return VaultError::corrupted(QStringLiteral("Envelope didn't parse as JSON."));
    SecretVault::Database database;
    const QJsonObject scopes = document.object();
    for (auto scope = scopes.begin(); scope != scopes.end(); ++scope) {
        const QJsonObject keys = scope.value().toObject();
        for (auto key = keys.begin(); key != keys.end(); ++key)
            database[scope.key()].insert(key.key(), key.value().toString());
    }
    return database;
}

QByteArray encodeDatabase(const SecretVault::Database &database) {
    QJsonObject scopes;
    for (auto scope = database.cbegin(); scope != database.cend(); ++scope) {
        QJsonObject keys;
        for (auto key = scope->cbegin(); key != scope->cend(); ++key)
            keys.insert(key.key(), key.value());
        scopes.insert(scope.key(), keys);
    }
    return QJsonDocument(scopes).toJson(QJsonDocument::Compact);
}

// The database and the key it was sealed with; no key when there is no vault yet.
struct Opened {
    SecretVault::Database database;
    std::optional<Key> key;
};

SecretVault::Result<Opened> readVault() {
    QFile file(SecretVault::vaultPath());
    if (!file.exists())
        return Opened{};
    if (!file.open(QIODevice::ReadOnly))
        return fileError(QStringLiteral("Couldn't read the credential vault"), file.errorString());
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonObject envelope = document.object();
    const QJsonValue version = envelope.value(QStringLiteral("v"));
    const QJsonValue keyStore = envelope.value(QStringLiteral("key_store"));
    const bool shaped = document.isObject() && version.isDouble() &&
                        version.toDouble() == version.toInteger() &&
                        envelope.value(QStringLiteral("iv")).isString() &&
                        envelope.value(QStringLiteral("tag")).isString() &&
                        envelope.value(QStringLiteral("ct")).isString() &&
                        (keyStore.isUndefined() || keyStore.isString());
    if (!shaped)
        return VaultError::corrupted(QStringLiteral("Envelope didn't parse as JSON."));
    if (version.toInteger() != 1)
        return VaultError{VaultError::Kind::UnsupportedVersion,
                          QString::number(version.toInteger())};
    const auto nonce = decodeBase64(envelope.value(QStringLiteral("iv")), nonceBytes);
    const auto tag = decodeBase64(envelope.value(QStringLiteral("tag")), tagBytes);
    const auto ciphertext = decodeBase64(envelope.value(QStringLiteral("ct")));
    if (!nonce || !tag || !ciphertext)
        return VaultError::corrupted(QStringLiteral("Envelope contains malformed base64."));

    const std::optional<QByteArray> identifier = machineKeyMaterial();
    if (!identifier)
        return VaultError{VaultError::Kind::DecryptFailed, {}};
    // A vault whose key is in the keyring never falls back to a file key.
    SecretVault::Result<Key> key = existingKey(keyStore.toString() == secretServiceName);
    if (const auto *error = std::get_if<VaultError>(&key))
        return *error;
    const Key &found = std::get<Key>(key);
    const std::optional<QByteArray> plaintext =
        unseal(SecretVault::deriveKey(*identifier, found.pepper), {*nonce, *ciphertext, *tag});
    if (!plaintext)
        return VaultError{VaultError::Kind::DecryptFailed, {}};
    SecretVault::Result<SecretVault::Database> database = decodeDatabase(*plaintext);
    if (const auto *error = std::get_if<VaultError>(&database))
        return *error;
    return Opened{std::get<SecretVault::Database>(std::move(database)), found};
}

std::optional<VaultError> writeVault(const Opened &opened) {
    const std::optional<QByteArray> identifier = machineKeyMaterial();
    if (!identifier)
        return VaultError{VaultError::Kind::EncryptFailed, {}};
    SecretVault::Result<Key> made = opened.key ? SecretVault::Result<Key>(*opened.key) : newKey();
    if (const auto *error = std::get_if<VaultError>(&made))
        return *error;
    const Key &key = std::get<Key>(made);
    const std::optional<Sealed> sealed =
        seal(SecretVault::deriveKey(*identifier, key.pepper), encodeDatabase(opened.database));
    if (!sealed)
        return VaultError{VaultError::Kind::EncryptFailed, {}};
    QJsonObject envelope{
        {QStringLiteral("v"), 1},
        {QStringLiteral("iv"), QString::fromLatin1(sealed->nonce.toBase64())},
        {QStringLiteral("tag"), QString::fromLatin1(sealed->tag.toBase64())},
        {QStringLiteral("ct"), QString::fromLatin1(sealed->ciphertext.toBase64())},
        {QStringLiteral("saved_at"), isoDate(nowUtc())},
    };
    if (key.inKeyring)
        envelope.insert(QStringLiteral("key_store"), secretServiceName);
    const QString path = SecretVault::vaultPath();
    if (auto error = makePrivateFolder(QFileInfo(path).absolutePath()))
        return error;
    if (const auto error = writePrivateFile(path, canonicalJson(envelope)))
        return fileError(QStringLiteral("Couldn't write the credential vault"), *error);
    return std::nullopt;
}

// Serialises load-change-write between processes; a lock left by a dead process is taken over.
std::unique_ptr<QLockFile> lockVault(std::optional<VaultError> &error) {
    const QString path = SecretVault::vaultPath();
    if (auto folderError = makePrivateFolder(QFileInfo(path).absolutePath())) {
        error = folderError;
        return nullptr;
    }
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    if (!lock->tryLock(10000)) {
        error = fileError(QStringLiteral("Couldn't lock the credential vault"),
                          QStringLiteral("another program keeps it busy"));
        return nullptr;
    }
    return lock;
}

std::optional<VaultError> changeVault(const std::function<void(SecretVault::Database &)> &change) {
    std::optional<VaultError> error;
    const std::unique_ptr<QLockFile> lock = lockVault(error);
    if (!lock)
        return error;
    SecretVault::Result<Opened> loaded = readVault();
    if (const auto *loadError = std::get_if<VaultError>(&loaded))
        return *loadError;
    Opened opened = std::get<Opened>(std::move(loaded));
    change(opened.database);
    return writeVault(opened);
}

} // namespace

QString VaultError::text() const {
    switch (kind) {
    case Kind::DecryptFailed:
        return QStringLiteral(
            "Couldn't decrypt the credential vault. This usually means the vault was created on "
            "a different computer, or the key material was reset. Open Settings → Accounts → "
            "Reset Vault to start over (you'll need to re-enter every stored credential).");
    case Kind::EncryptFailed:
        return QStringLiteral("Couldn't encrypt the credential vault. Check that the secrets "
                              "directory is writable.");
    case Kind::UnsupportedVersion:
        return QStringLiteral("Credential vault format v%1 isn't supported by this build.")
            .arg(detail);
    case Kind::Corrupted:
        return QStringLiteral("Credential vault is corrupted: ") + detail;
    case Kind::KeyringUnavailable:
        return QStringLiteral(
            "Couldn't open the credential vault: its key is kept in your desktop keyring, which "
            "is locked or not running. Unlock the keyring and try again.");
    case Kind::FileError:
        return detail;
    }
    return detail;
}

QString SecretVault::secretsDirectory() {
    return paths::quindleDirectory() + QStringLiteral("/secrets");
}

QString SecretVault::pepperPath() {
    return secretsDirectory() + QStringLiteral("/.pepper");
}

QString SecretVault::vaultPath() {
    const QSettings settings(platform::preferencesFile(), QSettings::IniFormat);
    QString path = settings.value(QStringLiteral("QDSecretVaultPath")).toString();
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = platform::homePath() + path.mid(1);
    return path.isEmpty() ? secretsDirectory() + QStringLiteral("/vault.enc") : path;
}

QByteArray SecretVault::deriveKey(const QByteArray &identifier, const QByteArray &pepper) {
    return QCryptographicHash::hash(identifier + pepper + QByteArray(keyLabel),
                                    QCryptographicHash::Sha256);
}

std::optional<VaultError> SecretVault::set(const QString &scope, const QString &key,
                                           const QString &value) {
    return changeVault([&](Database &database) { database[scope].insert(key, value); });
}

std::optional<VaultError> SecretVault::purge(const QString &scope) {
    return changeVault([&](Database &database) { database.remove(scope); });
}

SecretVault::Result<std::optional<QString>> SecretVault::get(const QString &scope,
                                                             const QString &key) {
    Result<Database> loaded = load();
    if (const auto *error = std::get_if<VaultError>(&loaded))
        return *error;
    const Database &database = std::get<Database>(loaded);
    if (!database.contains(scope) || !database[scope].contains(key))
        return std::optional<QString>();
    return std::optional<QString>(database[scope].value(key));
}

SecretVault::Result<SecretVault::Database> SecretVault::load() {
    Result<Opened> opened = readVault();
    if (const auto *error = std::get_if<VaultError>(&opened))
        return *error;
    return std::get<Opened>(std::move(opened)).database;
}

std::optional<QString> SecretVault::reset() {
    const QString suffix = QStringLiteral(".reset-") +
                           nowUtc().toString(QStringLiteral("yyyyMMddTHHmmss")) + QLatin1Char('Z');
    for (const QString &path : {vaultPath(), pepperPath()}) {
        if (!QFileInfo::exists(path))
            continue;
        if (!QFile::rename(path, path + suffix))
            return QStringLiteral("Couldn't move %1 aside.").arg(path);
    }
    if (platform::DesktopKeyring::offered())
        keyring().clear();
    return std::nullopt;
}

} // namespace quindle
