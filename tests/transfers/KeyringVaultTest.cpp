// The vault's key in a real desktop keyring: run by keyring_sessions.sh inside private session
// buses, one per suite (an unlocked gnome-keyring, a locked one, a service that never answers).
#include "transfers/SecretVault.h"

#include "platform/DesktopKeyring.h"
#include "support/CommandRun.h"
#include "support/TempHome.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QThread>

using namespace quindle;

namespace {

const QString lockedText =
    "Couldn't open the credential vault: its key is kept in your desktop keyring, which is "
    "locked or not running. Unlock the keyring and try again.";

QString keyStoreOf(const QString &vault) {
    return QJsonDocument::fromJson(test::readText(vault)).object().value("key_store").toString();
}

platform::DesktopKeyring pepperItem() {
    return platform::DesktopKeyring("quindle", "vault-pepper");
}

} // namespace

class UnlockedKeyring : public test::TempHomeTest {};

TEST_F(UnlockedKeyring, KeepsThePepperAndAnotherProcessOpensTheVault) {
    ASSERT_TRUE(platform::DesktopKeyring::offered());
    pepperItem().clear();
    ASSERT_EQ(SecretVault::set("remote.a", "password", "from the keyring"), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(SecretVault::pepperPath()));
    EXPECT_EQ(keyStoreOf(SecretVault::vaultPath()), "secret_service");
    EXPECT_EQ(pepperItem().lookup().outcome, platform::DesktopKeyring::Outcome::Done);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home());
    const test::CommandRun other = test::runCommand(
        QStringLiteral(QUINDLE_BINARY), {"vault", "get", "remote.a", "password"}, environment);
    EXPECT_EQ(other.status, 0) << other.err.toStdString();
    EXPECT_EQ(other.out, "from the keyring\n");

    ASSERT_EQ(SecretVault::reset(), std::nullopt);
    EXPECT_EQ(pepperItem().lookup().outcome, platform::DesktopKeyring::Outcome::NotFound);
}

class LockedKeyring : public test::TempHomeTest {};

TEST_F(LockedKeyring, ANewVaultUsesTheFileAtOnceAndAKeyringVaultSaysWhy) {
    ASSERT_TRUE(platform::DesktopKeyring::offered());
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(SecretVault::set("remote.a", "password", "p"), std::nullopt);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(QFileInfo::exists(SecretVault::pepperPath()));
    EXPECT_EQ(keyStoreOf(SecretVault::vaultPath()), QString());

    // A vault whose key is in the keyring never falls back to a file key.
    QJsonObject envelope =
        QJsonDocument::fromJson(test::readText(SecretVault::vaultPath())).object();
    envelope.insert("key_store", "secret_service");
    const QByteArray inKeyring = QJsonDocument(envelope).toJson();
    test::writeText(SecretVault::vaultPath(), inKeyring);
    const auto refused = SecretVault::set("remote.b", "user", "u");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->text(), lockedText);
    EXPECT_EQ(test::readText(SecretVault::vaultPath()), inKeyring);
}

namespace {

// Owns the Secret Service's name and never answers: its object lives on a thread that is kept
// busy until the test ends.
class SilentService : public QObject {
    Q_OBJECT
public:
    SilentService() {
        m_thread.start();
        m_object.moveToThread(&m_thread);
        QMetaObject::invokeMethod(&m_object, [this] { m_release.acquire(); });
        m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "silent");
        m_bus.registerObject("/org/freedesktop/secrets", &m_object,
                             QDBusConnection::ExportAllContents |
                                 QDBusConnection::ExportChildObjects);
        registered = m_bus.registerService("org.freedesktop.secrets");
    }
    ~SilentService() override {
        m_bus.unregisterService("org.freedesktop.secrets");
        m_release.release();
        m_thread.quit();
        m_thread.wait();
    }
    bool registered = false;

private:
    QThread m_thread;
    QObject m_object;
    QSemaphore m_release;
    QDBusConnection m_bus{QString()};
};

} // namespace

class SilentKeyring : public test::TempHomeTest {};

TEST_F(SilentKeyring, AServiceThatNeverAnswersIsGivenUpOn) {
    SilentService service;
    ASSERT_TRUE(service.registered);
    setEnv("QUINDLE_KEYRING_TIMEOUT_MS", "1500");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(pepperItem().lookup().outcome, platform::DesktopKeyring::Outcome::Unavailable);
    EXPECT_LT(timer.elapsed(), 5000);
    ASSERT_EQ(SecretVault::set("remote.a", "password", "p"), std::nullopt);
    EXPECT_TRUE(QFileInfo::exists(SecretVault::pepperPath()));
}

#include "KeyringVaultTest.moc"
