#include "TransferFixture.h"

#include "support/CommandRun.h"

namespace quindle::test {

QMap<QString, QByteArray> fileEntries(const QString &root) {
    QMap<QString, QByteArray> files = treeEntries(root);
    files.removeIf([](const auto &entry) { return entry.value() == "d"; });
    return files;
}

QMap<QString, QByteArray> fileEntriesBesideReplaced(const QString &root) {
    QMap<QString, QByteArray> files = fileEntries(root);
    files.removeIf([](const auto &entry) { return entry.key().contains(".replaced-"); });
    return files;
}

RclonePeer::RclonePeer(Kind kind, const QString &folder, const QStringList &authentication)
    : m_kind(kind) {
    QStringList arguments{"serve",
                          kind == Kind::WebDav ? QStringLiteral("webdav") : QStringLiteral("sftp"),
                          folder, "--addr", "127.0.0.1:0"};
    if (!authentication.isEmpty())
        arguments << authentication;
    else if (kind == Kind::Sftp)
        arguments << QStringLiteral("--no-auth");
    platform::ChildCommand command("rclone", arguments);
    command.channels = platform::ChildCommand::Channels::Combined;
    command.delivery = platform::ChildCommand::Delivery::Lines;
    command.grace = std::chrono::milliseconds(1000);
    m_server = std::make_unique<platform::ChildProcess>(std::move(command));
    // It prints where it listens once it does.
    static const QRegularExpression listening(R"((http://127\.0\.0\.1:\d+/|127\.0\.0\.1:\d+))");
    QObject::connect(m_server.get(), &platform::ChildProcess::line,
                     [this](platform::ChildStream, const QString &line) {
                         const QRegularExpressionMatch match = listening.match(line);
                         if (m_address.isEmpty() && match.hasMatch() &&
                             (line.contains("started") || line.contains("listening")))
                             m_address = match.captured(1);
                     });
    if (m_server->start())
        waitUntil([this] { return ready(); }, 20000);
}

QString RclonePeer::configSection(const QString &name) const {
    if (m_kind == Kind::WebDav)
        return QStringLiteral("[%1]\ntype = webdav\nurl = %2\nvendor = other\n\n")
            .arg(name, m_address);
    const QString port = m_address.section(u':', 1);
    // serve sftp --no-auth takes any password; rclone wants one, obscured.
    const CommandRun obscured = runCommand("rclone", {"obscure", "x"});
    return QStringLiteral("[%1]\ntype = sftp\nhost = 127.0.0.1\nport = %2\nuser = me\npass = %3\n"
                          "shell_type = none\n\n")
        .arg(name, port, obscured.out.trimmed());
}

void TransferTest::SetUp() {
    TempHomeTest::SetUp();
    rcloneConfig = inHome("rclone.conf");
    setEnv("RCLONE_CONFIG", rcloneConfig);
    writeRcloneConfig();
}

void TransferTest::TearDown() {
    manager.reset();
    peers.clear();
    TempHomeTest::TearDown();
}

void TransferTest::writeRcloneConfig(const QString &extra) {
    writeText(rcloneConfig, (QStringLiteral("[mem]\ntype = memory\n\n[here]\ntype = alias\n"
                                            "remote = %1\n\n")
                                 .arg(inHome("aliased")) +
                             peerSections + extra)
                                .toUtf8());
}

RclonePeer &TransferTest::addPeer(RclonePeer::Kind kind, const QString &name,
                                  const QString &folder) {
    QDir().mkpath(folder);
    peers.push_back(std::make_unique<RclonePeer>(kind, folder));
    EXPECT_TRUE(peers.back()->ready()) << "rclone serve did not start";
    peerSections += peers.back()->configSection(name);
    writeRcloneConfig();
    return *peers.back();
}

void TransferTest::reportDrive(const QString &path) {
    writeText(paths::statusFile(),
              QStringLiteral(R"({"nvme_path": "%1", "mounted": true})").arg(path).toUtf8());
}

void TransferTest::allowPlainFolderDrive(bool allowed) {
    writeText(paths::configFile(),
              allowed ? QByteArray("NVME_REQUIRE_MOUNTPOINT=0\n") : QByteArray());
}

SyncManager &TransferTest::makeManager() {
    manager = std::make_unique<SyncManager>(&volumes);
    if (clock)
        manager->setClock(clock);
    manager->start();
    waitUntil([this] { return manager->rcloneProbed(); });
    return *manager;
}

SyncJob TransferTest::job(JobMode mode, const QString &source, const QString &destination) const {
    SyncJob made(mode, source, destination);
    made.transfers = 2;
    made.checkers = 4;
    return made;
}

JobState TransferTest::stateOf(const QUuid &id) const {
    const std::optional<SyncJob> found = manager->job(id);
    return found ? found->state : JobState::Canceled;
}

bool TransferTest::waitForState(const QUuid &id, JobState state, int timeoutMs) {
    return waitUntil([&] { return stateOf(id) == state; }, timeoutMs);
}

void TransferTest::writeSlowFile(const QString &path, qint64 bytes) {
    writeRandomFile(path, bytes, 7);
}

} // namespace quindle::test
