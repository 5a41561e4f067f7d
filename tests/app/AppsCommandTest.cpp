// `quindle apps`, run as a person runs it: the real binary, real rsync, a spare folder as the
// drive.
#include "../mover/MoverFixture.h"

#include "apps/AppManifestStore.h"
#include "support/CommandRun.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <signal.h>

using namespace quindle;
using test::CommandRun;

class AppsCommand : public test::MoverTest {
protected:
    void SetUp() override {
        MoverTest::SetUp();
        root = inHome("Apps");
    }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_DIRS", inHome("no-system-data"));
        env.insert("QUINDLE_APPS_ROOT", root);
        return env;
    }
    CommandRun run(const QStringList &arguments) const {
        return test::runCommand(QStringLiteral(QUINDLE_BINARY), arguments, environment(), home());
    }
    QString root;
};

TEST_F(AppsCommand, ListsMovesAndBringsBackByName) {
    test::TreeSpec spec;
    spec.files = 8;
    test::generateTree(root + "/Viewer", spec);
    const QByteArray digest = test::treeDigest(root + "/Viewer");
    test::writeText(root + "/Busy/f", "x");
    test::writeText(inHome(".config/autostart/busy.desktop"),
                    "[Desktop Entry]\nType=Application\nExec=" + root.toUtf8() + "/Busy/f\n");

    const CommandRun listed = run({"apps", "list", "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(listed.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 2);
    QJsonObject viewer, busy;
    for (const QJsonValue &row : rows)
        (row[QStringLiteral("displayName")] == "Viewer" ? viewer : busy) = row.toObject();
    EXPECT_EQ(viewer.keys(), QStringList({"bundleID", "displayName", "id", "isMovedSymlink",
                                          "isRunning", "lastUsedAt", "lastUsedLabel", "message",
                                          "path", "sizeBytes", "verdict"}));
    EXPECT_EQ(viewer[QStringLiteral("verdict")], "ok");
    EXPECT_GT(viewer[QStringLiteral("sizeBytes")].toInteger(), 0);
    EXPECT_EQ(busy[QStringLiteral("verdict")], "blocked");

    const CommandRun refused = run({"apps", "move", "Busy", "Nothing"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains("Has a systemd unit or autostart entry pointing into the "
                                     "folder (busy.desktop)."))
        << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("No app in the apps roots is called Nothing."));
    EXPECT_TRUE(AppManifestStore::loadAll().isEmpty());

    const CommandRun moved = run({"apps", "move", "Viewer"});
    ASSERT_EQ(moved.status, 0) << moved.out.toStdString() << moved.err.toStdString();
    EXPECT_TRUE(QFileInfo(root + "/Viewer").isSymLink());
    EXPECT_TRUE(run({"apps", "moved"}).out.contains(root + "/Viewer → "));
    EXPECT_TRUE(run({"apps", "list"}).out.contains("Already relocated to NVMe."));

    const CommandRun back = run({"apps", "back", "Viewer"});
    ASSERT_EQ(back.status, 0) << back.out.toStdString() << back.err.toStdString();
    EXPECT_FALSE(QFileInfo(root + "/Viewer").isSymLink());
    EXPECT_EQ(test::treeDigest(root + "/Viewer"), digest);
    EXPECT_TRUE(run({"apps", "moved"}).out.contains("No apps moved yet."));

    for (const QStringList &wrong : QList<QStringList>{
             {"apps"}, {"apps", "move"}, {"apps", "back", "a", "b"}, {"apps", "list", "--xml"}}) {
        const CommandRun usage = run(wrong);
        EXPECT_EQ(usage.status, 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(usage.err.startsWith("Usage: quindle apps"));
    }
}

TEST_F(AppsCommand, AMoveKilledWhileHashingResumesToDone) {
    test::writeRandomFile(root + "/Big/data.bin", 192 * 1024 * 1024, 3);
    test::writeText(root + "/Big/bin/run", "#!/bin/sh\n");
    const QByteArray digest = test::treeDigest(root + "/Big");

    QProcess process;
    process.setProcessEnvironment(environment());
    process.setProcessChannelMode(QProcess::MergedChannels);
    QString seen;
    bool killed = false;
    QObject::connect(&process, &QProcess::readyRead, [&] {
        seen += QString::fromUtf8(process.readAll());
        if (!killed && seen.contains("copying → verifying")) {
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            killed = true;
        }
    });
    process.start(QStringLiteral(QUINDLE_BINARY), {"apps", "move", "Big"});
    ASSERT_TRUE(test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
    ASSERT_TRUE(killed) << seen.toStdString();
    const QList<AppMoveManifest> left = AppManifestStore::loadAll();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.first().phase, AppMovePhase::Verifying);
    EXPECT_FALSE(QFileInfo(root + "/Big").isSymLink());

    const CommandRun resumed = run({"resume"});
    EXPECT_EQ(resumed.status, 0) << resumed.err.toStdString();
    EXPECT_TRUE(resumed.out.contains("done")) << resumed.out.toStdString();
    EXPECT_TRUE(QFileInfo(root + "/Big").isSymLink());
    EXPECT_EQ(test::treeDigest(drive + "/Apps/Big"), digest);
    EXPECT_TRUE(AppManifestStore::loadAll().isEmpty());
}
