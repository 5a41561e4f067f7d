// `quindle remotes`, the real executable with real rclone and a real SFTP server.
#include "../transfers/TransferFixture.h"

#include "support/CommandRun.h"

using namespace quindle;

using test::CommandRun;

class RemotesCommand : public test::TransferTest {
protected:
    CommandRun run(const QStringList &arguments, const QByteArray &input = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUINDLE_VAULT_KEYSTORE", "file");
        return test::runCommand(QUINDLE_BINARY, QStringList{"remotes"} + arguments, env, home(),
                                input);
    }
};

TEST_F(RemotesCommand, RefusalsExitTwoAndLeaveTheConfigurationAlone) {
    const QByteArray before = test::readText(rcloneConfig);
    const QByteArray strong = "Wide-Harbour 7 lanterns\n";
    const struct {
        QStringList arguments;
        QByteArray input;
        QString sentence;
    } refusals[] = {
        {{"test", "nowhere"}, {}, "No rclone remote is named “nowhere”."},
        {{"remove", "nowhere", "--yes"}, {}, "No rclone remote is named “nowhere”."},
        {{"browse", "nowhere:a"}, {}, "No rclone remote is named “nowhere”."},
        {{"add", "sftp", "--name", "here", "--host", "h", "--user", "u", "--password-stdin"},
         strong,
         "An account named here already exists. Choose another nickname."},
        {{"add", "sftp", "--name", "-x", "--host", "h", "--user", "u", "--password-stdin"},
         strong,
         "Use letters, digits, spaces, dots, dashes and underscores in the nickname."},
        {{"add", "sftp", "--name", "nas", "--host", " ", "--user", "u", "--password-stdin"},
         strong,
         "Enter the server's host name."},
        {{"add", "sftp", "--name", "nas", "--host", "h", "--port", "70000", "--user", "u",
          "--password-stdin"},
         strong,
         "Use a port from 1 to 65535."},
        {{"add", "sftp", "--name", "nas", "--host", "h", "--user", "u", "--password-stdin"},
         "letmein\n",
         "Won't be accepted — too short or too common."},
        {{"add", "ftp", "--name", "old", "--host", "h", "--user", "u", "--password-stdin"},
         strong,
         "Confirm that you understand the risks of FTP before adding it."},
        {{"add", "s3", "--name", "b", "--provider", "Acme", "--access-key-id", "k",
          "--secret-stdin"},
         strong,
         "“Acme” is not an S3 provider: use AWS, Cloudflare, B2, Wasabi, DigitalOcean, Minio or "
         "Other."},
        {{"add", "s3", "--name", "b", "--provider", "Wasabi", "--access-key-id", "k",
          "--secret-stdin"},
         strong,
         "Enter the endpoint of Wasabi."},
    };
    for (const auto &refusal : refusals) {
        const CommandRun result = run(refusal.arguments, refusal.input);
        EXPECT_EQ(result.status, 2) << refusal.arguments.join(' ').toStdString();
        EXPECT_EQ(result.err.trimmed(), refusal.sentence)
            << refusal.arguments.join(' ').toStdString();
    }
    EXPECT_EQ(run({"add", "sftp", "--name", "nas"}).status, 2) << "no secret given";
    EXPECT_EQ(test::readText(rcloneConfig), before);
}

TEST_F(RemotesCommand, AddTestBrowseAndRemoveAnSftpAccount) {
    const QString served = inHome("served");
    QDir().mkpath(served + "/Camera Roll/2024");
    QDir().mkpath(served + "/Dokumente");
    test::writeText(served + "/note.txt", "not a folder");
    const QString password = "Wide-Harbour 7 lanterns";
    test::RclonePeer &peer = *peers.emplace_back(std::make_unique<test::RclonePeer>(
        test::RclonePeer::Kind::Sftp, served, QStringList{"--user", "alice", "--pass", password}));
    ASSERT_TRUE(peer.ready());

    const CommandRun added = run({"add", "sftp", "--name", "my nas", "--host", "127.0.0.1",
                                  "--port", peer.port(), "--user", "alice", "--password-stdin"},
                                 password.toUtf8() + '\n');
    ASSERT_EQ(added.status, 0) << added.err.toStdString();
    EXPECT_EQ(added.out, "Added the account my nas.\n");
    const CommandRun listed = run({"--json"});
    EXPECT_TRUE(listed.out.contains(R"("name": "my nas")")) << listed.out.toStdString();

    const CommandRun tested = run({"test", "my nas"});
    EXPECT_EQ(tested.status, 0) << tested.err.toStdString();
    EXPECT_EQ(tested.out, "Connected.\n");
    const CommandRun browsed = run({"browse", "my nas:"});
    EXPECT_EQ(browsed.status, 0) << browsed.err.toStdString();
    EXPECT_EQ(browsed.out, "Camera Roll\nDokumente\n");
    EXPECT_EQ(run({"browse", "my nas:Camera Roll"}).out, "2024\n");
    const CommandRun missing = run({"browse", "my nas:gone"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.startsWith("Could not list folders: ")) << missing.err.toStdString();

    const CommandRun removed = run({"remove", "my nas", "--yes"});
    EXPECT_EQ(removed.status, 0) << removed.err.toStdString();
    EXPECT_EQ(run({}).out.contains("my nas"), false);
    EXPECT_EQ(run({"test", "my nas"}).status, 2);
}
