#include "TransferFixture.h"

#include "support/CommandRun.h"
#include "transfers/AccountForm.h"
#include "transfers/CredentialSaver.h"
#include "transfers/RcloneAuth.h"
#include "transfers/RemoteFolderBrowser.h"
#include "transfers/RemoteManager.h"
#include "transfers/RemoteMetadata.h"
#include "transfers/SecretVault.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTcpServer>

using namespace quindle;

namespace {

template <typename T> T awaited(QFuture<T> future) {
    test::waitUntil([&] { return future.isFinished(); }, 90000);
    return future.result();
}

QStringList remoteNames() {
    QStringList names;
    for (const Remote &remote : RemoteManager::readRemotes().value_or(QList<Remote>{}))
        names << remote.name;
    return names;
}

} // namespace

// A temporary home whose rclone reads only the test's configuration and no AWS settings.
class AccountTest : public test::TransferTest {
protected:
    void SetUp() override {
        test::TransferTest::SetUp();
        for (const QString &name : QProcessEnvironment::systemEnvironment().keys())
            if ((name.startsWith(QLatin1String("RCLONE_")) &&
                 name != QLatin1String("RCLONE_CONFIG")) ||
                name.startsWith(QLatin1String("AWS_")))
                unsetEnv(name.toLocal8Bit().constData());
        setEnv("QUINDLE_VAULT_KEYSTORE", QStringLiteral("file"));
    }

    AccountForm serverForm(const QString &type, const QString &nickname, const QString &port) {
        AccountForm form = AccountForm::forType(type);
        form.nickname = nickname;
        form.host = QStringLiteral("127.0.0.1");
        form.port = port;
        form.user = QStringLiteral("alice");
        form.password = password;
        form.acceptPlaintext = true;
        return form;
    }

    // Saves the form as the sheet does: refused forms never reach rclone.
    std::optional<QString> save(const AccountForm &form) {
        if (std::optional<QString> problem =
                form.problem(RemoteManager::readRemotes().value_or(QList<Remote>{})))
            return problem;
        return awaited(CredentialSaver::save(form.request()));
    }

    // Copies a fresh tree to `destination` through the transfer engine; its digests must match.
    // `flat`: one folder of plain names, for FTP: the server answers 501 for a missing folder,
    // and rclone writes a tab in a name as another character there.
    void expectRealTransfer(const QString &destination, const QString &landedIn, unsigned seed,
                            bool flat = false) {
        const QString source = inHome(QStringLiteral("tree-%1").arg(seed));
        test::generateTree(source, {.seed = seed,
                                    .files = 6,
                                    .folders = flat ? 0 : 3,
                                    .awkwardNames = !flat,
                                    .symlink = false,
                                    .hardLink = false,
                                    .emptyFolder = false});
        if (!manager)
            makeManager();
        const SyncJob copy = job(JobMode::Copy, source, destination);
        ASSERT_TRUE(manager->enqueue(copy));
        ASSERT_TRUE(waitForState(copy.id, JobState::Completed))
            << destination.toStdString() << ": "
            << manager->job(copy.id)->errorMessage.value_or(QString()).toStdString();
        EXPECT_EQ(test::fileEntries(landedIn), test::fileEntries(source));
    }

    QString vaultKeys(const QString &nickname) {
        const auto database = std::get<SecretVault::Database>(SecretVault::load());
        return QStringList(database.value(CredentialSaver::vaultScope(nickname)).keys())
            .join(QLatin1Char(','));
    }

    const QString password = QStringLiteral("Wide-Harbour 7 lanterns");
};

TEST_F(AccountTest, SftpAccountsByPasswordAndByKeyEachCarryATransfer) {
    const QString served = inHome(QStringLiteral("served"));
    const QString keys = inHome(QStringLiteral("keys"));
    const QString passphrase = QStringLiteral("it's a \"quoted\" phrase");
    QDir().mkpath(keys);
    QByteArray authorized;
    for (const auto &[name, options] :
         {std::pair{QStringLiteral("ed"),
                    QStringList{QStringLiteral("-t"), QStringLiteral("ed25519")}},
          std::pair{QStringLiteral("rsa"),
                    QStringList{QStringLiteral("-t"), QStringLiteral("rsa"), QStringLiteral("-b"),
                                QStringLiteral("2048"), QStringLiteral("-m"),
                                QStringLiteral("PEM")}}}) {
        const test::CommandRun made = test::runCommand(
            QStringLiteral("ssh-keygen"),
            options + QStringList{QStringLiteral("-q"), QStringLiteral("-N"), passphrase,
                                  QStringLiteral("-f"), keys + QLatin1Char('/') + name});
        ASSERT_EQ(made.status, 0) << made.err.toStdString();
        authorized += test::readText(keys + QLatin1Char('/') + name + QStringLiteral(".pub"));
    }
    test::writeText(keys + QStringLiteral("/authorized"), authorized);
    test::RclonePeer &peer = *peers.emplace_back(std::make_unique<test::RclonePeer>(
        test::RclonePeer::Kind::Sftp, served,
        QStringList{QStringLiteral("--user"), QStringLiteral("alice"), QStringLiteral("--pass"),
                    password, QStringLiteral("--authorized-keys"),
                    keys + QStringLiteral("/authorized")}));
    QDir().mkpath(served);
    ASSERT_TRUE(peer.ready());

    AccountForm byPassword =
        serverForm(QStringLiteral("sftp"), QStringLiteral("box pw"), peer.port());
    ASSERT_EQ(save(byPassword), std::nullopt);
    EXPECT_EQ(vaultKeys(QStringLiteral("box pw")), QStringLiteral("password,username"));
    expectRealTransfer(QStringLiteral("box pw:by-password"),
                       served + QStringLiteral("/by-password"), 1);

    for (const QString &key : {QStringLiteral("ed"), QStringLiteral("rsa")}) {
        AccountForm byKey =
            serverForm(QStringLiteral("sftp"), QStringLiteral("box.") + key, peer.port());
        byKey.authMethod = SftpAuthMethod::PrivateKey;
        byKey.password.clear();
        byKey.keyFile = keys + QLatin1Char('/') + key;
        byKey.keyPassphrase = passphrase;
        ASSERT_EQ(save(byKey), std::nullopt);
        EXPECT_EQ(vaultKeys(byKey.nickname), QStringLiteral("key_file_passphrase,username"));
        expectRealTransfer(byKey.nickname + QStringLiteral(":by-") + key,
                           served + QStringLiteral("/by-") + key, key.size() + 2);
    }

    // A key without a passphrase stores no empty secret.
    AccountForm plainKey =
        serverForm(QStringLiteral("sftp"), QStringLiteral("box-nokey"), peer.port());
    plainKey.authMethod = SftpAuthMethod::PrivateKey;
    plainKey.keyFile = keys + QStringLiteral("/ed");
    ASSERT_EQ(save(plainKey), std::nullopt);
    EXPECT_EQ(vaultKeys(QStringLiteral("box-nokey")), QStringLiteral("username"));

    const RemoteMetadata::Records records = RemoteMetadata::load();
    EXPECT_EQ(records.value(QStringLiteral("box pw")).displayName,
              QStringLiteral("alice@127.0.0.1"));
    EXPECT_TRUE(records.value(QStringLiteral("box pw")).createdAt.isValid());
}

TEST_F(AccountTest, FtpAccountCarriesATransferAndRecordsTheWarning) {
    const QString served = inHome(QStringLiteral("ftp root"));
    // The server answers 501 for a missing folder, which rclone does not read as "not found".
    QDir().mkpath(served + QStringLiteral("/incoming"));
    platform::ChildCommand command(QStringLiteral("/usr/bin/python3"),
                                   {QStringLiteral("-m"), QStringLiteral("pyftpdlib"),
                                    QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
                                    QStringLiteral("-p"), QStringLiteral("0"), QStringLiteral("-u"),
                                    QStringLiteral("alice"), QStringLiteral("-P"), password,
                                    QStringLiteral("-d"), served, QStringLiteral("-w")});
    command.channels = platform::ChildCommand::Channels::Combined;
    command.delivery = platform::ChildCommand::Delivery::Lines;
    platform::ChildProcess server(std::move(command));
    QString port;
    QObject::connect(&server, &platform::ChildProcess::line, [&](auto, const QString &line) {
        static const QRegularExpression listening(QStringLiteral(R"(on 127\.0\.0\.1:(\d+))"));
        if (const QRegularExpressionMatch match = listening.match(line); match.hasMatch())
            port = match.captured(1);
    });
    if (!server.start() || !test::waitUntil([&] { return !port.isEmpty(); }, 20000))
        GTEST_SKIP() << "pyftpdlib is not installed (Debian package python3-pyftpdlib).";

    AccountForm form = serverForm(QStringLiteral("ftp"), QStringLiteral("old ftp"), port);
    form.acceptPlaintext = false;
    EXPECT_TRUE(form.problem({}).has_value());
    form.acceptPlaintext = true;
    ASSERT_EQ(save(form), std::nullopt);
    EXPECT_EQ(RemoteMetadata::load().value(QStringLiteral("old ftp")).acknowledgedWarnings,
              QStringList{QStringLiteral("ftp-plaintext")});
    expectRealTransfer(QStringLiteral("old ftp:incoming"), served + QStringLiteral("/incoming"), 9,
                       true);
}

TEST_F(AccountTest, S3AccountIsConfiguredAndItsTransfersAreChecksummed) {
    AccountForm form = AccountForm::forType(QStringLiteral("s3"));
    form.nickname = QStringLiteral("bucket store");
    form.chooseProvider(5); // MinIO: path style, an endpoint
    form.accessKeyId = QStringLiteral("AKIAEXAMPLE");
    form.secretAccessKey = password;
    form.endpoint = QStringLiteral("http://127.0.0.1:1");
    ASSERT_EQ(save(form), std::nullopt);

    const QString config = QString::fromUtf8(test::readText(rcloneConfig));
    EXPECT_TRUE(config.contains(QLatin1String("provider = Minio")));
    EXPECT_TRUE(config.contains(QLatin1String("force_path_style = true")));
    EXPECT_EQ(vaultKeys(form.nickname), QStringLiteral("access_key_id,secret_access_key"));

    RemoteManager remotes;
    remotes.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return remotes.hasLoaded() && !remotes.loading(); }, 60000));
    SyncJob upload(JobMode::Copy, inHome(QStringLiteral("x")), QStringLiteral("bucket store:b/x"));
    RcloneRunContext context;
    context.remoteTypes = remotes.remoteTypes();
    EXPECT_TRUE(RcloneClient::arguments(upload, context).contains(QStringLiteral("--checksum")));
}

TEST_F(AccountTest, RefusedOrFailedAccountsLeaveNoSecretsAndNoConfiguration) {
    test::writeText(rcloneConfig, "[taken]\ntype = alias\nremote = /tmp\n\n");
    ASSERT_EQ(SecretVault::set(QStringLiteral("remote.other"), QStringLiteral("password"),
                               QStringLiteral("keep me")),
              std::nullopt);
    const QByteArray configBefore = test::readText(rcloneConfig);

    AccountForm duplicate =
        serverForm(QStringLiteral("sftp"), QStringLiteral(" taken "), QString());
    AccountForm weak = serverForm(QStringLiteral("sftp"), QStringLiteral("weak"), QString());
    weak.password = QStringLiteral("password1");
    AccountForm hostless = serverForm(QStringLiteral("sftp"), QStringLiteral("nohost"), QString());
    hostless.host = QStringLiteral("  ");
    EXPECT_EQ(save(duplicate),
              QStringLiteral("An account named taken already exists. Choose another nickname."));
    EXPECT_EQ(save(weak), QStringLiteral("Won't be accepted — too short or too common."));
    EXPECT_EQ(save(hostless), QStringLiteral("Enter the server's host name."));
    EXPECT_EQ(test::readText(rcloneConfig), configBefore);

    test::FakeExecutables fakes;
    setEnv("QUINDLE_RCLONE",
           fakes.add(QStringLiteral("rclone"), "echo 'Error: something broke' >&2; exit 1"));
    const std::optional<QString> failed =
        save(serverForm(QStringLiteral("sftp"), QStringLiteral("fresh"), QString()));
    EXPECT_EQ(failed, QStringLiteral("rclone config create failed.\n\nError: something broke"));
    EXPECT_EQ(vaultKeys(QStringLiteral("fresh")), QString());
    EXPECT_EQ(vaultKeys(QStringLiteral("other")), QStringLiteral("password"));
    EXPECT_FALSE(RemoteMetadata::load().contains(QStringLiteral("fresh")));

    setEnv("QUINDLE_RCLONE", inHome(QStringLiteral("no-rclone")));
    EXPECT_EQ(save(serverForm(QStringLiteral("sftp"), QStringLiteral("later"), QString())),
              RcloneClient::notInstalledText());
    EXPECT_EQ(vaultKeys(QStringLiteral("later")), QString());
}

TEST_F(AccountTest, ManagerListsOddNamesKeepsItsListOnFailureAndRemovesOneAccount) {
    writeRcloneConfig(QStringLiteral("[my dav]\ntype = alias\nremote = /tmp\n\n"
                                     "[my dav2]\ntype = alias\nremote = /tmp\n\n"
                                     "[v1.2 photos]\ntype = google photos\n\n"));
    ASSERT_EQ(SecretVault::set(QStringLiteral("remote.my dav"), QStringLiteral("password"),
                               QStringLiteral("x")),
              std::nullopt);
    RemoteManager remotes;
    remotes.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return remotes.hasLoaded() && !remotes.loading(); }, 60000));
    EXPECT_EQ(remotes.remote(QStringLiteral("v1.2 photos"))->type, QStringLiteral("googlephotos"));
    EXPECT_EQ(remotes.remotes().size(), 5);
    EXPECT_FALSE(remotes.availableTypes().isEmpty());

    // An installed helper that prints half a list: the manager keeps what it had.
    test::writeText(paths::rcloneHelperScript(), "echo '[{\"name\":'");
    remotes.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return !remotes.loading(); }, 60000));
    EXPECT_EQ(remotes.remotes().size(), 5);
    QFile::remove(paths::rcloneHelperScript());

    EXPECT_EQ(awaited(remotes.remove(QStringLiteral("my dav"))), std::nullopt);
    EXPECT_TRUE(test::waitUntil([&] { return remotes.remotes().size() == 4; }, 60000));
    EXPECT_TRUE(remotes.remote(QStringLiteral("my dav2")).has_value());
    EXPECT_EQ(vaultKeys(QStringLiteral("my dav")), QString());
}

TEST_F(AccountTest, BrowsingListsFoldersOnlyAndReportsFailures) {
    for (const char *folder :
         {"aliased/My Photos/2024", "aliased/été", "aliased/b10", "aliased/b9"})
        QDir().mkpath(inHome(QString::fromUtf8(folder)));
    test::writeText(inHome(QStringLiteral("aliased/file.txt")), "not a folder");
    RemoteManager remotes;
    RemoteFolderBrowser browser(remotes, {QStringLiteral("here"), QStringLiteral("alias")});
    browser.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return !browser.isLoading(); }, 60000));
    const QStringList rootFolders = browser.folders();
    // Numbers by value, accents and case as a person reads them.
    EXPECT_EQ(rootFolders, (QStringList{QStringLiteral("b9"), QStringLiteral("b10"),
                                        QStringLiteral("été"), QStringLiteral("My Photos")}));
    EXPECT_EQ(browser.chosenPath(), QStringLiteral("here:"));

    browser.descend(QStringLiteral("My Photos"));
    browser.descend(QStringLiteral("2024"));
    ASSERT_TRUE(test::waitUntil([&] { return !browser.isLoading(); }, 60000));
    EXPECT_TRUE(browser.folders().isEmpty());
    EXPECT_EQ(browser.error(), std::nullopt);
    EXPECT_EQ(browser.chosenPath(), QStringLiteral("here:My Photos/2024"));
    EXPECT_EQ(browser.crumbs(), (QList<RemoteFolderBrowser::Crumb>{
                                    {QStringLiteral("here"), QString()},
                                    {QStringLiteral("My Photos"), QStringLiteral("My Photos")},
                                    {QStringLiteral("2024"), QStringLiteral("My Photos/2024")}}));

    const FolderListing missing =
        RemoteManager::listFoldersBlocking(QStringLiteral("here"), QStringLiteral("gone"));
    EXPECT_TRUE(missing.error && missing.error->contains(QLatin1String("directory not found")))
        << missing.error.value_or(QString()).toStdString();

    test::RclonePeer &peer = addPeer(test::RclonePeer::Kind::Sftp, QStringLiteral("peer"),
                                     inHome(QStringLiteral("aliased")));
    EXPECT_EQ(RemoteManager::listFoldersBlocking(QStringLiteral("peer"), QString()).folders,
              rootFolders);
    peer.stop();
    const FolderListing stopped =
        RemoteManager::listFoldersBlocking(QStringLiteral("peer"), QString());
    EXPECT_TRUE(stopped.folders.isEmpty());
    EXPECT_TRUE(stopped.error.has_value());

    setEnv("QUINDLE_RCLONE", inHome(QStringLiteral("no-rclone")));
    const FolderListing without =
        RemoteManager::listFoldersBlocking(QStringLiteral("here"), QString());
    EXPECT_TRUE(without.folders.isEmpty());
    EXPECT_EQ(without.error, std::nullopt);
}

// Google sign-in against a provider on 127.0.0.1 that approves at once: rclone reads its
// addresses from the environment and runs the whole flow offline.
class SignInTest : public AccountTest {
protected:
    void SetUp() override {
        AccountTest::SetUp();
        platform::ChildCommand command(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(QUINDLE_SOURCE_DIR "/tests/transfers/data/fake_oauth.py")});
        command.delivery = platform::ChildCommand::Delivery::Lines;
        provider = std::make_unique<platform::ChildProcess>(std::move(command));
        QString port;
        QObject::connect(provider.get(), &platform::ChildProcess::line,
                         [&port](auto, const QString &line) { port = line.trimmed(); });
        ASSERT_TRUE(provider->start());
        ASSERT_TRUE(test::waitUntil([&] { return !port.isEmpty(); }, 20000));
        const QString base = QStringLiteral("http://127.0.0.1:") + port;
        setEnv("RCLONE_DRIVE_AUTH_URL", base + QStringLiteral("/auth"));
        setEnv("RCLONE_DRIVE_TOKEN_URL", base + QStringLiteral("/token"));
        auth.setOpener([this](const QUrl &url) { opened << url; });
    }

    // What a browser does with the address: follows it, and the redirects, to the end.
    void followInBrowser(const QUrl &url) {
        const test::CommandRun browser = test::runCommand(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, urllib.request; urllib.request.urlopen(sys.argv[1])"),
             url.toString()});
        EXPECT_EQ(browser.status, 0) << browser.err.toStdString();
    }

    bool waitForStep(RcloneAuth::Step step) {
        return test::waitUntil([&] { return auth.step() == step; }, 30000);
    }

    std::unique_ptr<platform::ChildProcess> provider;
    RcloneAuth auth;
    QList<QUrl> opened;
};

TEST_F(SignInTest, CompletesOpensTheAddressOnceAndKeepsTheTokenOffScreen) {
    auth.start(QStringLiteral("work drive"), QStringLiteral("drive"), QString(), QString());
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::AwaitingBrowser)) << auth.output().toStdString();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened.first().toString().startsWith(QLatin1String("http://127.0.0.1:53682/auth")));
    followInBrowser(opened.first());
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::Done)) << auth.output().toStdString();
    EXPECT_EQ(opened.size(), 1);
    EXPECT_FALSE(auth.output().contains(QLatin1String("fake-access")));
    EXPECT_TRUE(
        QString::fromUtf8(test::readText(rcloneConfig)).contains(QLatin1String("fake-access")));
    EXPECT_TRUE(remoteNames().contains(QStringLiteral("work drive")));
}

TEST_F(SignInTest, CancelWhileWaitingAddsNothing) {
    auth.start(QStringLiteral("never"), QStringLiteral("drive"), QString(), QString());
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::AwaitingBrowser));
    auth.reopenUrl();
    EXPECT_EQ(opened.size(), 2);
    auth.cancel();
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::Canceled));
    EXPECT_EQ(auth.detail(), QStringLiteral("The sign-in was canceled. No account was added."));
    EXPECT_FALSE(remoteNames().contains(QStringLiteral("never")));
}

TEST_F(SignInTest, TakenCallbackPortFailsAtOnce) {
    QTcpServer squatter;
    if (!squatter.listen(QHostAddress::LocalHost, 53682))
        GTEST_SKIP() << "Port 53682 is in use by something else here.";
    auth.start(QStringLiteral("blocked"), QStringLiteral("drive"), QString(), QString());
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::Failed));
    EXPECT_TRUE(
        auth.message().startsWith(QLatin1String("rclone exited with code 1.\n\nLast output:\n")));
    EXPECT_TRUE(auth.message().contains(QLatin1String("address already in use")));
    EXPECT_TRUE(opened.isEmpty());
}
