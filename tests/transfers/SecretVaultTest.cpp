#include "transfers/SecretVault.h"

#include "support/CommandRun.h"
#include "support/TempHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quindle;

namespace {

constexpr char decryptFailed[] =
    "Couldn't decrypt the credential vault. This usually means the vault was created on a "
    "different computer, or the key material was reset. Open Settings → Accounts → Reset "
    "Vault to start over (you'll need to re-enter every stored credential).";

QString errorText(const std::optional<VaultError> &error) {
    return error ? error->text() : QStringLiteral("(no error)");
}

QString loadError() {
    const auto loaded = SecretVault::load();
    const auto *error = std::get_if<VaultError>(&loaded);
    return error ? error->text() : QStringLiteral("(loaded)");
}

int mode(const QString &path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return static_cast<int>(info.st_mode & 0777);
}

QJsonObject envelope() {
    return QJsonDocument::fromJson(test::readText(SecretVault::vaultPath())).object();
}

// The base64 field with one byte of what it encodes changed.
QString flipped(const QString &base64, int index = 0) {
    QByteArray bytes = QByteArray::fromBase64(base64.toLatin1());
    bytes[index] = static_cast<char>(bytes[index] ^ 0x01);
    return QString::fromLatin1(bytes.toBase64());
}

} // namespace

class SecretVaultTest : public test::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        machineId = inHome("machine-id");
        test::writeText(machineId, "0123456789abcdef0123456789abcdef\n");
        setEnv("QUINDLE_MACHINE_ID_FILE", machineId);
        setEnv("QUINDLE_VAULT_KEYSTORE", "file");
    }
    QString machineId;
};

TEST_F(SecretVaultTest, KeepsScopesApartAndPurgesOneWhole) {
    ASSERT_FALSE(QFileInfo::exists(SecretVault::vaultPath()));
    ASSERT_EQ(SecretVault::set("remote.work-sftp", "username", "ada"), std::nullopt);
    auto loaded = std::get<SecretVault::Database>(SecretVault::load());
    EXPECT_EQ(loaded.keys(), QStringList{"remote.work-sftp"});

    ASSERT_EQ(SecretVault::set("remote.work-sftp", "password", "s3cret ünïcode"), std::nullopt);
    ASSERT_EQ(SecretVault::set("remote.s3", "secret_access_key", "k"), std::nullopt);
    EXPECT_EQ(std::get<std::optional<QString>>(SecretVault::get("remote.work-sftp", "password")),
              "s3cret ünïcode");
    EXPECT_EQ(std::get<std::optional<QString>>(SecretVault::get("remote.s3", "nothing")),
              std::nullopt);
    EXPECT_FALSE(test::readText(SecretVault::vaultPath()).contains("s3cret"));

    ASSERT_EQ(SecretVault::purge("remote.work-sftp"), std::nullopt);
    loaded = std::get<SecretVault::Database>(SecretVault::load());
    EXPECT_EQ(loaded.keys(), QStringList{"remote.s3"});

    // Purging what is not there writes the same content under a new nonce.
    const QJsonObject before = envelope();
    ASSERT_EQ(SecretVault::purge("remote.none"), std::nullopt);
    EXPECT_NE(envelope().value("iv"), before.value("iv"));
    EXPECT_EQ(std::get<SecretVault::Database>(SecretVault::load()), loaded);
}

TEST_F(SecretVaultTest, NeverLetsOtherUsersReadWhateverTheUmask) {
    const mode_t saved = ::umask(0);
    const auto error = SecretVault::set("remote.a", "password", "p");
    ::umask(saved);
    ASSERT_EQ(error, std::nullopt);
    EXPECT_EQ(mode(SecretVault::secretsDirectory()), 0700);
    EXPECT_EQ(mode(SecretVault::vaultPath()), 0600);
    EXPECT_EQ(mode(SecretVault::pepperPath()), 0600);
    EXPECT_EQ(QFileInfo(SecretVault::pepperPath()).size(), 32);
}

TEST_F(SecretVaultTest, ADamagedOrForeignVaultIsRefusedAndLeftExactlyAsItWas) {
    ASSERT_EQ(SecretVault::set("remote.a", "password", "p"), std::nullopt);
    const QJsonObject good = envelope();
    const auto with = [&](const char *key, const QJsonValue &value) {
        QJsonObject changed = good;
        changed.insert(QLatin1String(key), value);
        return changed;
    };
    struct Case {
        const char *what;
        QByteArray content;
        QString expected;
    };
    const QString corruptJson = "Credential vault is corrupted: Envelope didn't parse as JSON.";
    const QString corruptBase64 =
        "Credential vault is corrupted: Envelope contains malformed base64.";
    const QByteArray goodBytes = QJsonDocument(good).toJson();
    const QList<Case> cases{
        {"ct flipped", QJsonDocument(with("ct", flipped(good.value("ct").toString()))).toJson(),
         QString::fromUtf8(decryptFailed)},
        {"tag flipped",
         QJsonDocument(with("tag", flipped(good.value("tag").toString(), 15))).toJson(),
         QString::fromUtf8(decryptFailed)},
        {"iv flipped", QJsonDocument(with("iv", flipped(good.value("iv").toString(), 5))).toJson(),
         QString::fromUtf8(decryptFailed)},
        {"11-byte iv",
         QJsonDocument(with("iv", QString::fromLatin1(QByteArray(11, 'x').toBase64()))).toJson(),
         corruptBase64},
        {"bad base64", QJsonDocument(with("ct", "%%%not base64")).toJson(), corruptBase64},
        {"truncated", goodBytes.left(goodBytes.size() / 2), corruptJson},
        {"string v", QJsonDocument(with("v", "1")).toJson(), corruptJson},
        {"v 2", QJsonDocument(with("v", 2)).toJson(),
         "Credential vault format v2 isn't supported by this build."},
    };
    for (const Case &c : cases) {
        test::writeText(SecretVault::vaultPath(), c.content);
        EXPECT_EQ(loadError(), c.expected) << c.what;
        EXPECT_EQ(errorText(SecretVault::set("remote.b", "user", "u")), c.expected) << c.what;
        EXPECT_EQ(errorText(SecretVault::purge("remote.a")), c.expected) << c.what;
        EXPECT_EQ(test::readText(SecretVault::vaultPath()), c.content) << c.what;
    }

    // The same file on another computer.
    test::writeText(SecretVault::vaultPath(), goodBytes);
    test::writeText(machineId, "fedcba9876543210fedcba9876543210\n");
    EXPECT_EQ(loadError(), QString::fromUtf8(decryptFailed));
    EXPECT_EQ(test::readText(SecretVault::vaultPath()), goodBytes);
}

TEST_F(SecretVaultTest, AResetPutsBothFilesAsideAndStartsAFreshVault) {
    ASSERT_EQ(SecretVault::set("remote.a", "password", "p"), std::nullopt);
    const QByteArray old = test::readText(SecretVault::vaultPath());
    QFile::remove(SecretVault::pepperPath());
    EXPECT_EQ(loadError(), QString::fromUtf8(decryptFailed));

    ASSERT_EQ(SecretVault::reset(), std::nullopt);
    const QStringList aside =
        QDir(SecretVault::secretsDirectory()).entryList({"vault.enc.reset-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::readText(SecretVault::secretsDirectory() + "/" + aside.first()), old);
    ASSERT_EQ(SecretVault::set("remote.b", "password", "q"), std::nullopt);
    EXPECT_EQ(std::get<SecretVault::Database>(SecretVault::load()).keys(), QStringList{"remote.b"});
}

TEST_F(SecretVaultTest, AWriteThatFailsLeavesThePreviousVault) {
    ASSERT_EQ(SecretVault::set("remote.a", "password", "p"), std::nullopt);
    const QByteArray before = test::readText(SecretVault::vaultPath());
    const pid_t child = ::fork();
    if (child == 0) {
        // No file may grow past a few bytes: the new vault cannot be written.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200, 200};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const auto error = SecretVault::set("remote.a", "password", QString(300, u'x'));
        ::_exit(error && error->kind == VaultError::Kind::FileError ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::readText(SecretVault::vaultPath()), before);
    EXPECT_EQ(std::get<std::optional<QString>>(SecretVault::get("remote.a", "password")), "p");
}

TEST_F(SecretVaultTest, AStandardAesGcmLibraryOpensItWithTheDerivedKey) {
    ASSERT_EQ(SecretVault::set("remote.a", "password", "p"), std::nullopt);
    const QByteArray key = SecretVault::deriveKey("0123456789abcdef0123456789abcdef",
                                                  test::readText(SecretVault::pepperPath()));
    const QString script = R"(
import base64, json, sys
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
e = json.load(open(sys.argv[1]))
key = bytes.fromhex(sys.argv[2])
print(AESGCM(key).decrypt(base64.b64decode(e["iv"]),
      base64.b64decode(e["ct"]) + base64.b64decode(e["tag"]), None).decode())
)";
    const test::CommandRun run = test::runCommand(
        "python3", {"-c", script, SecretVault::vaultPath(), QString::fromLatin1(key.toHex())});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), R"({"remote.a":{"password":"p"}})");
    // The key is SHA-256 of identifier, pepper and the format's label.
    EXPECT_EQ(key, QCryptographicHash::hash("0123456789abcdef0123456789abcdef" +
                                                test::readText(SecretVault::pepperPath()) +
                                                "quindle.vault.v1",
                                            QCryptographicHash::Sha256));
}
