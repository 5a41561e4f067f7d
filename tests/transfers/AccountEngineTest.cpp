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
            if ((name.startsWith("RCLONE_") && name != "RCLONE_CONFIG") || name.startsWith("AWS_"))
                unsetEnv(name.toLocal8Bit().constData());
        setEnv("QUINDLE_VAULT_KEYSTORE", "file");
    }

    AccountForm serverForm(const QString &type, const QString &nickname, const QString &port) {
        AccountForm form = AccountForm::forType(type);
        form.nickname = nickname;
        form.host = "127.0.0.1";
        form.port = port;
        form.user = "alice";
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
        return QStringList(database.value(CredentialSaver::vaultScope(nickname)).keys()).join(u',');
    }

    const QString password = "Wide-Harbour 7 lanterns";
};

TEST_F(AccountTest, SftpAccountsByPasswordAndByKeyEachCarryATransfer) {
    const QString served = inHome("served");
    const QString keys = inHome("keys");
    const QString passphrase = "it's a \"quoted\" phrase";
    QDir().mkpath(keys);
    QByteArray authorized;
    for (const auto &[name, options] :
         {std::pair{QStringLiteral("ed"),
                    QStringList{QStringLiteral("-t"), QStringLiteral("ed25519")}},
          std::pair{QStringLiteral("rsa"),
                    QStringList{QStringLiteral("-t"), QStringLiteral("rsa"), QStringLiteral("-b"),
                                "2048", "-m", "PEM"}}}) {
        const test::CommandRun made = test::runCommand(
            "ssh-keygen", options + QStringList{"-q", "-N", passphrase, "-f", keys + u'/' + name});
        ASSERT_EQ(made.status, 0) << made.err.toStdString();
        authorized += test::readText(keys + u'/' + name + ".pub");
    }
    test::writeText(keys + "/authorized", authorized);
    test::RclonePeer &peer = *peers.emplace_back(
        std::make_unique<test::RclonePeer>(test::RclonePeer::Kind::Sftp, served,
                                           QStringList{"--user", "alice", "--pass", password,
                                                       "--authorized-keys", keys + "/authorized"}));
    QDir().mkpath(served);
    ASSERT_TRUE(peer.ready());

    AccountForm byPassword = serverForm("sftp", "box pw", peer.port());
    ASSERT_EQ(save(byPassword), std::nullopt);
    EXPECT_EQ(vaultKeys("box pw"), "password,username");
    expectRealTransfer("box pw:by-password", served + "/by-password", 1);

    for (const QString &key : QStringList{"ed", "rsa"}) {
        AccountForm byKey = serverForm("sftp", QStringLiteral("box.") + key, peer.port());
        byKey.authMethod = SftpAuthMethod::PrivateKey;
        byKey.password.clear();
        byKey.keyFile = keys + u'/' + key;
        byKey.keyPassphrase = passphrase;
        ASSERT_EQ(save(byKey), std::nullopt);
        EXPECT_EQ(vaultKeys(byKey.nickname), "key_file_passphrase,username");
        expectRealTransfer(byKey.nickname + QStringLiteral(":by-") + key,
                           served + QStringLiteral("/by-") + key, key.size() + 2);
    }

    // A key without a passphrase stores no empty secret.
    AccountForm plainKey = serverForm("sftp", "box-nokey", peer.port());
    plainKey.authMethod = SftpAuthMethod::PrivateKey;
    plainKey.keyFile = keys + "/ed";
    ASSERT_EQ(save(plainKey), std::nullopt);
    EXPECT_EQ(vaultKeys("box-nokey"), "username");

    const RemoteMetadata::Records records = RemoteMetadata::load();
    EXPECT_EQ(records.value("box pw").displayName, "alice@127.0.0.1");
    EXPECT_TRUE(records.value("box pw").createdAt.isValid());
}

TEST_F(AccountTest, FtpAccountCarriesATransferAndRecordsTheWarning) {
    const QString served = inHome("ftp root");
    // The server answers 501 for a missing folder, which rclone does not read as "not found".
    QDir().mkpath(served + "/incoming");
    platform::ChildCommand command("/usr/bin/python3",
                                   {"-m", "pyftpdlib", "-i", "127.0.0.1", "-p", "0", "-u", "alice",
                                    "-P", password, "-d", served, "-w"});
    command.channels = platform::ChildCommand::Channels::Combined;
    command.delivery = platform::ChildCommand::Delivery::Lines;
    platform::ChildProcess server(std::move(command));
    QString port;
    QObject::connect(&server, &platform::ChildProcess::line, [&](auto, const QString &line) {
        static const QRegularExpression listening(R"(on 127\.0\.0\.1:(\d+))");
        if (const QRegularExpressionMatch match = listening.match(line); match.hasMatch())
            port = match.captured(1);
    });
    if (!server.start() || !test::waitUntil([&] { return !port.isEmpty(); }, 20000))
        GTEST_SKIP() << "pyftpdlib is not installed (Debian package python3-pyftpdlib).";

    AccountForm form = serverForm("ftp", "old ftp", port);
    form.acceptPlaintext = false;
    EXPECT_TRUE(form.problem({}).has_value());
    form.acceptPlaintext = true;
    ASSERT_EQ(save(form), std::nullopt);
    EXPECT_EQ(RemoteMetadata::load().value("old ftp").acknowledgedWarnings,
              QStringList{"ftp-plaintext"});
    expectRealTransfer("old ftp:incoming", served + "/incoming", 9, true);
}

TEST_F(AccountTest, S3AccountIsConfiguredAndItsTransfersAreChecksummed) {
    AccountForm form = AccountForm::forType("s3");
    form.nickname = "bucket store";
    form.chooseProvider(5); // MinIO: path style, an endpoint
    form.accessKeyId = "AKIAEXAMPLE";
    form.secretAccessKey = password;
    form.endpoint = "http://127.0.0.1:1";
    ASSERT_EQ(save(form), std::nullopt);

    const QString config = QString::fromUtf8(test::readText(rcloneConfig));
    EXPECT_TRUE(config.contains("provider = Minio"));
    EXPECT_TRUE(config.contains("force_path_style = true"));
    EXPECT_EQ(vaultKeys(form.nickname), "access_key_id,secret_access_key");

    RemoteManager remotes;
    remotes.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return remotes.hasLoaded() && !remotes.loading(); }, 60000));
    SyncJob upload(JobMode::Copy, inHome("x"), "bucket store:b/x");
    RcloneRunContext context;
    context.remoteTypes = remotes.remoteTypes();
    EXPECT_TRUE(RcloneClient::arguments(upload, context).contains("--checksum"));
}

TEST_F(AccountTest, RefusedOrFailedAccountsLeaveNoSecretsAndNoConfiguration) {
    test::writeText(rcloneConfig, "[taken]\ntype = alias\nremote = /tmp\n\n");
    ASSERT_EQ(SecretVault::set("remote.other", "password", "keep me"), std::nullopt);
    const QByteArray configBefore = test::readText(rcloneConfig);

    AccountForm duplicate = serverForm("sftp", " taken ", QString());
    AccountForm weak = serverForm("sftp", "weak", QString());
    weak.password = "password1";
    AccountForm hostless = serverForm("sftp", "nohost", QString());
    hostless.host = "  ";
    EXPECT_EQ(save(duplicate), "An account named taken already exists. Choose another nickname.");
    EXPECT_EQ(save(weak), "Won't be accepted — too short or too common.");
    EXPECT_EQ(save(hostless), "Enter the server's host name.");
    EXPECT_EQ(test::readText(rcloneConfig), configBefore);

    test::FakeExecutables fakes;
    setEnv("QUINDLE_RCLONE", fakes.add("rclone", "echo 'Error: something broke' >&2; exit 1"));
    const std::optional<QString> failed = save(serverForm("sftp", "fresh", QString()));
    EXPECT_EQ(failed, "rclone config create failed.\n\nError: something broke");
    EXPECT_EQ(vaultKeys("fresh"), QString());
    EXPECT_EQ(vaultKeys("other"), "password");
    EXPECT_FALSE(RemoteMetadata::load().contains("fresh"));

    setEnv("QUINDLE_RCLONE", inHome("no-rclone"));
    EXPECT_EQ(save(serverForm("sftp", "later", QString())), RcloneClient::notInstalledText());
    EXPECT_EQ(vaultKeys("later"), QString());
}

TEST_F(AccountTest, ManagerListsOddNamesKeepsItsListOnFailureAndRemovesOneAccount) {
    writeRcloneConfig("[my dav]\ntype = alias\nremote = /tmp\n\n"
                      "[my dav2]\ntype = alias\nremote = /tmp\n\n"
                      "[v1.2 photos]\ntype = google photos\n\n");
    ASSERT_EQ(SecretVault::set("remote.my dav", "password", "x"), std::nullopt);
    RemoteManager remotes;
    remotes.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return remotes.hasLoaded() && !remotes.loading(); }, 60000));
    EXPECT_EQ(remotes.remote("v1.2 photos")->type, "googlephotos");
    EXPECT_EQ(remotes.remotes().size(), 5);
    EXPECT_FALSE(remotes.availableTypes().isEmpty());

    // An installed helper that prints half a list: the manager keeps what it had.
    test::writeText(paths::rcloneHelperScript(), "echo '[{\"name\":'");
    remotes.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return !remotes.loading(); }, 60000));
    EXPECT_EQ(remotes.remotes().size(), 5);
    QFile::remove(paths::rcloneHelperScript());

    EXPECT_EQ(awaited(remotes.remove("my dav")), std::nullopt);
    EXPECT_TRUE(test::waitUntil([&] { return remotes.remotes().size() == 4; }, 60000));
    EXPECT_TRUE(remotes.remote("my dav2").has_value());
    EXPECT_EQ(vaultKeys("my dav"), QString());
}

TEST_F(AccountTest, BrowsingListsFoldersOnlyAndReportsFailures) {
    for (const char *folder :
         {"aliased/My Photos/2024", "aliased/été", "aliased/b10", "aliased/b9"})
        QDir().mkpath(inHome(QString::fromUtf8(folder)));
    test::writeText(inHome("aliased/file.txt"), "not a folder");
    RemoteManager remotes;
    RemoteFolderBrowser browser(remotes, {"here", "alias"});
    browser.refresh();
    ASSERT_TRUE(test::waitUntil([&] { return !browser.isLoading(); }, 60000));
    const QStringList rootFolders = browser.folders();
    // Numbers by value, accents and case as a person reads them.
    EXPECT_EQ(rootFolders, (QStringList{"b9", "b10", "été", "My Photos"}));
    EXPECT_EQ(browser.chosenPath(), "here:");

    browser.descend("My Photos");
    browser.descend("2024");
    ASSERT_TRUE(test::waitUntil([&] { return !browser.isLoading(); }, 60000));
    EXPECT_TRUE(browser.folders().isEmpty());
    EXPECT_EQ(browser.error(), std::nullopt);
    EXPECT_EQ(browser.chosenPath(), "here:My Photos/2024");
    EXPECT_EQ(browser.crumbs(),
              (QList<RemoteFolderBrowser::Crumb>{
                  {"here", QString()}, {"My Photos", "My Photos"}, {"2024", "My Photos/2024"}}));

    const FolderListing missing = RemoteManager::listFoldersBlocking("here", "gone");
    EXPECT_TRUE(missing.error && missing.error->contains("directory not found"))
        << missing.error.value_or(QString()).toStdString();

    test::RclonePeer &peer = addPeer(test::RclonePeer::Kind::Sftp, "peer", inHome("aliased"));
    EXPECT_EQ(RemoteManager::listFoldersBlocking("peer", QString()).folders, rootFolders);
    peer.stop();
    const FolderListing stopped = RemoteManager::listFoldersBlocking("peer", QString());
    EXPECT_TRUE(stopped.folders.isEmpty());
    EXPECT_TRUE(stopped.error.has_value());

    setEnv("QUINDLE_RCLONE", inHome("no-rclone"));
    const FolderListing without = RemoteManager::listFoldersBlocking("here", QString());
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
            "/usr/bin/python3",
            {QStringLiteral(QUINDLE_SOURCE_DIR "/tests/transfers/data/fake_oauth.py")});
        command.delivery = platform::ChildCommand::Delivery::Lines;
        provider = std::make_unique<platform::ChildProcess>(std::move(command));
        QString port;
        QObject::connect(provider.get(), &platform::ChildProcess::line,
                         [&port](auto, const QString &line) { port = line.trimmed(); });
        ASSERT_TRUE(provider->start());
        ASSERT_TRUE(test::waitUntil([&] { return !port.isEmpty(); }, 20000));
        const QString base = QStringLiteral("http://127.0.0.1:") + port;
        setEnv("RCLONE_DRIVE_AUTH_URL", base + "/auth");
        setEnv("RCLONE_DRIVE_TOKEN_URL", base + "/token");
        auth.setOpener([this](const QUrl &url) { opened << url; });
    }

    // What a browser does with the address: follows it, and the redirects, to the end. rclone
    // may close its callback page once it holds the code, before answering; a browser shows an
    // error page then, and the sign-in is complete all the same.
    void followInBrowser(const QUrl &url) {
        const test::CommandRun browser = test::runCommand(
            "/usr/bin/python3", {"-c",
                                 "import sys, http.client, urllib.request\n"
                                 "try:\n    urllib.request.urlopen(sys.argv[1])\n"
                                 "except http.client.RemoteDisconnected:\n    pass",
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
    auth.start("work drive", "drive", QString(), QString());
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::AwaitingBrowser)) << auth.output().toStdString();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened.first().toString().startsWith("http://127.0.0.1:53682/auth"));
    followInBrowser(opened.first());
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::Done)) << auth.output().toStdString();
    EXPECT_EQ(opened.size(), 1);
    EXPECT_FALSE(auth.output().contains("fake-access"));
    EXPECT_TRUE(QString::fromUtf8(test::readText(rcloneConfig)).contains("fake-access"));
    EXPECT_TRUE(remoteNames().contains("work drive"));
}

TEST_F(SignInTest, CancelWhileWaitingAddsNothing) {
    auth.start("never", "drive", QString(), QString());
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::AwaitingBrowser));
    auth.reopenUrl();
    EXPECT_EQ(opened.size(), 2);
    auth.cancel();
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::Canceled));
    EXPECT_EQ(auth.detail(), "The sign-in was canceled. No account was added.");
    EXPECT_FALSE(remoteNames().contains("never"));
}

TEST_F(SignInTest, TakenCallbackPortFailsAtOnce) {
    QTcpServer squatter;
    if (!squatter.listen(QHostAddress::LocalHost, 53682))
        GTEST_SKIP() << "Port 53682 is in use by something else here.";
    auth.start("blocked", "drive", QString(), QString());
    ASSERT_TRUE(waitForStep(RcloneAuth::Step::Failed));
    EXPECT_TRUE(auth.message().startsWith("rclone exited with code 1.\n\nLast output:\n"));
    EXPECT_TRUE(auth.message().contains("address already in use"));
    EXPECT_TRUE(opened.isEmpty());
}
