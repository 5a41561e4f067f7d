#include "apps/AppRelocator.h"
#include "apps/AppManifestStore.h"
#include "mover/MoverFixture.h"
#include "platform/ChildProcess.h"
#include "support/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace quindle;
using namespace quindle::test;

namespace {

qint64 linkCount(const QString &path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_nlink : 0;
}

} // namespace

class Relocation : public MoverTest {
protected:
    void SetUp() override {
        MoverTest::SetUp();
        root = inHome("Apps");
    }
    void TearDown() override {
        relocator.reset();
        MoverTest::TearDown();
    }

    AppRelocator &makeRelocator() {
        relocator = std::make_unique<AppRelocator>(log, &volumes);
        connect();
        return *relocator;
    }
    void connect() {
        QObject::connect(relocator.get(), &AppRelocator::phaseChanged, relocator.get(),
                         [this](const QUuid &id, AppMovePhase phase) {
                             if (auto hook = onPhase.find(phase); hook != onPhase.end())
                                 (*hook)(id);
                         });
    }

    // An app folder with what a copy must keep: hard and inner links, executable bits, names
    // with spaces and quotes.
    AppEntry makeApp(const QString &name, int files = 24) {
        const QString path = root + u'/' + name;
        TreeSpec spec;
        spec.files = files;
        generateTree(path, spec);
        writeText(path + "/bin/run \"it\"", "#!/bin/sh\necho run\n");
        QFile::setPermissions(path + "/bin/run \"it\"", QFile::ReadOwner | QFile::WriteOwner |
                                                            QFile::ExeOwner | QFile::ReadGroup |
                                                            QFile::ExeGroup);
        AppEntry entry;
        entry.path = path;
        entry.root = root;
        entry.displayName = name;
        entry.id = path;
        return entry;
    }

    QUuid move(const AppEntry &entry) {
        const auto result = relocator->moveToNVMe(entry, drive);
        EXPECT_TRUE(std::holds_alternative<QUuid>(result));
        return std::holds_alternative<QUuid>(result) ? std::get<QUuid>(result) : QUuid();
    }
    AppMovePhase phaseOf(const QUuid &id) const {
        return relocator->job(id).value_or(AppMoveJob{}).manifest.phase;
    }
    QString errorOf(const QUuid &id) const {
        return relocator->job(id).value_or(AppMoveJob{}).manifest.lastError.value_or(QString());
    }
    bool waitForApp(const QUuid &id, AppMovePhase phase, int timeoutMs = 30000) {
        return waitUntil([&] { return phaseOf(id) == phase; }, timeoutMs);
    }
    QString copyOf(const AppEntry &entry) const {
        return drive + QStringLiteral("/Apps/") + QFileInfo(entry.path).fileName();
    }
    // Moves that fail are rolled back: the original stands untouched and the copy is gone.
    void expectRolledBack(const AppEntry &entry, const QByteArray &digest) {
        EXPECT_FALSE(QFileInfo(entry.path).isSymLink());
        EXPECT_EQ(treeDigest(entry.path), digest);
        EXPECT_FALSE(QFileInfo::exists(copyOf(entry)));
        EXPECT_TRUE(relocator->moved().isEmpty());
    }

    QString root;
    std::unique_ptr<AppRelocator> relocator;
    QHash<AppMovePhase, std::function<void(const QUuid &)>> onPhase;
};

TEST_F(Relocation, RoundTripKeepsEveryByteLinkAndBitBothWays) {
    makeRelocator();
    const AppEntry app = makeApp("My \"Quoted\" App");
    const QByteArray digest = treeDigest(app.path); // reads every file: the last use follows
    ASSERT_EQ(QProcess::execute("touch",
                                {"-a", "-d", "2025-05-05 05:05:05", app.path + "/bin/run \"it\""}),
              0);

    const QUuid out = move(app);
    ASSERT_TRUE(waitForApp(out, AppMovePhase::Done)) << errorOf(out).toStdString();
    EXPECT_EQ(QFileInfo(app.path).symLinkTarget(), copyOf(app));
    EXPECT_FALSE(QFileInfo::exists(app.path + ".quindle-old"));
    EXPECT_EQ(QFileInfo(copyOf(app) + "/bin/run \"it\"").lastRead(),
              QDateTime::fromString("2025-05-05T05:05:05", Qt::ISODate))
        << "copying and hashing leave the last use alone";
    EXPECT_EQ(treeDigest(copyOf(app)), digest);
    EXPECT_EQ(linkCount(copyOf(app) + "/hard link"), 2);
    EXPECT_FALSE(QFileInfo::exists(AppManifestStore::fileFor(out)));
    ASSERT_EQ(relocator->moved().size(), 1);
    EXPECT_EQ(relocator->moved().first().originalPath, app.path);
    EXPECT_GT(relocator->moved().first().sizeBytes, 0);
    EXPECT_EQ(MovedAppsLedger::load(), relocator->moved());
    EXPECT_TRUE(relocator->activeOps().isEmpty());

    const auto back = relocator->moveBackFromNVMe(relocator->moved().first());
    ASSERT_TRUE(std::holds_alternative<QUuid>(back));
    const QUuid in = std::get<QUuid>(back);
    ASSERT_TRUE(waitForApp(in, AppMovePhase::Done)) << errorOf(in).toStdString();
    EXPECT_FALSE(QFileInfo(app.path).isSymLink());
    EXPECT_EQ(treeDigest(app.path), digest);
    EXPECT_EQ(linkCount(app.path + "/hard link"), 2);
    EXPECT_FALSE(QFileInfo::exists(app.path + ".restoring"));
    EXPECT_TRUE(relocator->moved().isEmpty());
    EXPECT_TRUE(MovedAppsLedger::load().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(copyOf(app))) << "a move back leaves the drive's copy";
}

TEST_F(Relocation, DoubtBeforeTheSwapRemovesOnlyTheCopy) {
    makeRelocator();
    const AppEntry altered = makeApp("Altered"), changed = makeApp("Changed"),
                   started = makeApp("Started");
    const QByteArray alteredDigest = treeDigest(altered.path),
                     startedDigest = treeDigest(started.path);
    QHash<QUuid, std::function<void()>> beforeHashing, beforeLinking;
    onPhase.insert(AppMovePhase::Verifying, [&](const QUuid &id) {
        if (auto act = beforeHashing.take(id))
            act();
    });
    onPhase.insert(AppMovePhase::Linking, [&](const QUuid &id) {
        if (auto act = beforeLinking.take(id))
            act();
    });

    const QUuid a = move(altered);
    beforeHashing.insert(a, [&] { writeText(copyOf(altered) + "/bin/x", "odd"); });
    ASSERT_TRUE(waitForApp(a, AppMovePhase::Failed));
    EXPECT_TRUE(errorOf(a).startsWith("Content hash mismatch (")) << errorOf(a).toStdString();
    expectRolledBack(altered, alteredDigest);

    const QUuid c = move(changed);
    beforeLinking.insert(c, [&] { writeText(changed.path + "/bin/new plugin", "late"); });
    ASSERT_TRUE(waitForApp(c, AppMovePhase::Failed));
    EXPECT_EQ(errorOf(c), QStringLiteral("The app changed after it was verified (%1/bin/new "
                                         "plugin). Rolled back the destination; original "
                                         "preserved.")
                              .arg(changed.path));
    EXPECT_FALSE(QFileInfo::exists(copyOf(changed)));
    EXPECT_FALSE(QFileInfo(changed.path).isSymLink());

    std::unique_ptr<platform::ChildProcess> user;
    const QUuid s = move(started);
    beforeLinking.insert(s, [&] {
        platform::ChildCommand command("sleep", {"60"});
        command.workingDirectory = started.path;
        user = std::make_unique<platform::ChildProcess>(command);
        user->start();
    });
    ASSERT_TRUE(waitForApp(s, AppMovePhase::Failed));
    EXPECT_EQ(errorOf(s), QStringLiteral("The app is running (sleep, PID %1). Quit it and try "
                                         "again. Rolled back the destination; original "
                                         "preserved.")
                              .arg(user->pid()));
    expectRolledBack(started, startedDigest);
}

TEST_F(Relocation, AnUnpluggedDriveParksTheMoveUntilTheSameDriveReturns) {
    useRsync(slowRsync(400));
    makeRelocator();
    const AppEntry app = makeApp("Big", 40);
    const QByteArray digest = treeDigest(app.path);
    const QUuid id = move(app);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(copyOf(app)); }));
    const QString away = inHome("unplugged");
    ASSERT_TRUE(QDir().rename(drive, away));
    volumes.fireUnmounted(drive);
    ASSERT_EQ(phaseOf(id), AppMovePhase::WaitingForDrive);
    EXPECT_TRUE(relocator->hasUnfinishedJobs());

    // Reading the records again, as the next start does, keeps it parked.
    relocator.reset();
    useRsync(QString());
    makeRelocator();
    ASSERT_EQ(phaseOf(id), AppMovePhase::WaitingForDrive);

    ASSERT_TRUE(QDir().rename(away, drive));
    volumes.fireMounted(drive);
    ASSERT_TRUE(waitForApp(id, AppMovePhase::Done)) << errorOf(id).toStdString();
    EXPECT_EQ(treeDigest(copyOf(app)), digest);
    EXPECT_TRUE(QFileInfo(app.path).isSymLink());
}

TEST_F(Relocation, AnotherDriveWithAnAppsFolderFailsTheParkedMove) {
    useRsync(slowRsync(400));
    makeRelocator();
    const AppEntry app = makeApp("Big", 40);
    const QByteArray digest = treeDigest(app.path);
    const QUuid id = move(app);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(copyOf(app)); }));
    ASSERT_TRUE(QDir().rename(drive, inHome("unplugged")));
    volumes.fireUnmounted(drive);
    ASSERT_EQ(phaseOf(id), AppMovePhase::WaitingForDrive);

    QDir().mkpath(drive);
    writeStatus(drive, "UUID-B");
    prepareStandInDrive(drive, "UUID-B");
    volumes.fireMounted(drive);
    EXPECT_EQ(phaseOf(id), AppMovePhase::WaitingForDrive) << "no Apps folder: still waiting";

    QDir().mkpath(drive + "/Apps");
    volumes.fireMounted(drive);
    ASSERT_EQ(phaseOf(id), AppMovePhase::Failed);
    EXPECT_EQ(errorOf(id), "Destination drive UUID mismatch (manifest=UUID-A, "
                           "current=UUID-B). Refusing to resume.");
    EXPECT_EQ(treeDigest(app.path), digest);
}

TEST_F(Relocation, AtMostTwoMovesWorkAndQueuedOnesStartInOrder) {
    useRsync(slowRsync(2000));
    makeRelocator();
    QList<QUuid> started;
    int mostActive = 0;
    onPhase.insert(AppMovePhase::Copying, [&](const QUuid &id) { started << id; });
    QObject::connect(relocator.get(), &AppRelocator::jobsChanged, relocator.get(), [&] {
        int active = 0;
        for (const AppMoveJob &job : relocator->pendingJobs())
            active += isActive(job.manifest.phase) ? 1 : 0;
        mostActive = std::max(mostActive, active);
    });
    QList<QUuid> queued;
    for (const char *name : {"One", "Two", "Three"})
        queued << move(makeApp(QString::fromUtf8(name), 12));
    EXPECT_EQ(phaseOf(queued.at(2)), AppMovePhase::Writing);
    for (const QUuid &id : queued)
        ASSERT_TRUE(waitForApp(id, AppMovePhase::Done, 60000)) << errorOf(id).toStdString();
    EXPECT_EQ(started, queued);
    EXPECT_EQ(mostActive, 2);
    EXPECT_EQ(relocator->moved().size(), 3);
}

TEST_F(Relocation, RefusalsRecordNothing) {
    makeRelocator();
    const AppEntry app = makeApp("App", 4);
    const auto refusal = [&](const AppEntry &entry, const QString &nvme = {}) {
        const auto result = relocator->moveToNVMe(entry, nvme.isEmpty() ? drive : nvme);
        return std::holds_alternative<AppRelocateError>(result)
                   ? std::get<AppRelocateError>(result).message()
                   : QStringLiteral("queued");
    };
    QDir().mkpath(copyOf(app));
    EXPECT_EQ(refusal(app), QStringLiteral("An app folder already exists at %1. Remove it "
                                           "manually before retrying.")
                                .arg(copyOf(app)));
    QDir(copyOf(app)).removeRecursively();
    AppEntry packaged = app;
    packaged.packageOwner = "pkg";
    EXPECT_EQ(refusal(packaged), "Package-managed apps are not relocatable "
                                 "(auto-update path safety).");
    EXPECT_EQ(refusal(app, inHome("bare mount point")),
              "NVMe drive is not mounted. Plug it in and try again.");

    const MovedApp blocked{std::nullopt, app.path, copyOf(app), "App", 0, {}};
    const auto back = relocator->moveBackFromNVMe(blocked);
    ASSERT_TRUE(std::holds_alternative<AppRelocateError>(back));
    EXPECT_EQ(std::get<AppRelocateError>(back).message(),
              QStringLiteral("Something else now exists at %1 and isn't a symlink we own. "
                             "Refusing to overwrite.")
                  .arg(app.path));

    if (isRoot() &&
        ::mount("tmpfs", QFile::encodeName(drive).constData(), "tmpfs", MS_NOEXEC, nullptr) == 0) {
        prepareStandInDrive(drive, "UUID-A");
        EXPECT_EQ(refusal(app), "The NVMe is mounted noexec, so apps on it could "
                                "not run.");
        ::umount(QFile::encodeName(drive).constData());
    }
    EXPECT_TRUE(QDir(AppManifestStore::directory()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(relocator->pendingJobs().isEmpty());
}
