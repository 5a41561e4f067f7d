// Attacks on the mover with paths that overlap: each must end in a refusal or a correct no-op,
// never in a `done` over data the user can no longer reach.
#include "MoverFixture.h"

#include "mover/ManifestStore.h"
#include "mover/PathOverlap.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/mount.h>
#include <unistd.h>

using namespace quindle;
using Kind = EnqueueOutcome::Kind;

class Overlap : public test::MoverTest {
protected:
    // The outcome of one request, waiting for the job when one was recorded.
    EnqueueOutcome request(const QString &src, const QString &dstParent,
                           MoveConflictPolicy policy = MoveConflictPolicy::Merge,
                           bool relocate = false) {
        const EnqueueOutcome outcome = mover->enqueue(src, dstParent, policy, relocate);
        if (outcome.kind == Kind::Enqueued) {
            EXPECT_TRUE(waitUntilTerminal(outcome.job));
        }
        return outcome;
    }
    QString errorOf(const QUuid &id) const {
        return jobOf(id).manifest.lastError.value_or(QString());
    }
};

TEST_F(Overlap, ASourceIsNeverCopiedOntoItselfOrIntoItsOwnTree) {
    test::generateTree(inHome("x"), {.seed = 3, .files = 6});
    test::writeText(inHome("x/x/inner.txt"), "inner");
    test::writeText(inHome("notes.txt"), "a note");
    ASSERT_TRUE(QFile::link(home(), inHome("up")));
    const auto original = test::treeEntries(inHome("x"));
    const QByteArray note = test::entryOf(inHome("notes.txt"));
    makeMover();

    struct Case {
        const char *what;
        QString src, dstParent;
        MoveConflictPolicy policy;
        QString sentenceStart;
    };
    const QList<Case> cases{
        {"onto itself", inHome("x"), home(), MoveConflictPolicy::Merge,
         "The destination " + inHome("x") + " is the folder " + inHome("x") + " itself"},
        {"onto itself, replacing", inHome("x"), home(), MoveConflictPolicy::Override,
         "The destination " + inHome("x") + " is the folder"},
        {"through a link to the parent", inHome("x"), inHome("up"), MoveConflictPolicy::Merge,
         "The destination " + inHome("up/x") + " is the folder"},
        {"into itself", inHome("x"), inHome("x/sub"), MoveConflictPolicy::Merge,
         "The destination " + inHome("x/sub/x") + " is inside " + inHome("x")},
        {"into a folder that holds it", inHome("x/x"), home(), MoveConflictPolicy::Override,
         "The destination " + inHome("x") + " contains " + inHome("x/x")},
        {"a file onto itself", inHome("notes.txt"), inHome("up"), MoveConflictPolicy::Override,
         "The destination " + inHome("up/notes.txt") + " is the file"},
        {"into a file", inHome("notes.txt"), inHome("notes.txt"), MoveConflictPolicy::Merge,
         inHome("notes.txt") + " is a file, so the destination"},
    };
    for (const Case &c : cases) {
        const EnqueueOutcome outcome = request(c.src, c.dstParent, c.policy);
        EXPECT_EQ(outcome.kind, Kind::Refused) << c.what;
        EXPECT_TRUE(outcome.message.startsWith(c.sentenceStart))
            << c.what << ": " << outcome.message.toStdString();
    }
    EXPECT_TRUE(mover->jobs().isEmpty());

    // Relative paths are resolved against the working folder, as a shell user means them.
    const QString before = QDir::currentPath();
    QDir::setCurrent(home());
    const EnqueueOutcome relative = request("x", ".");
    QDir::setCurrent(before);
    EXPECT_EQ(relative.kind, Kind::Refused);
    EXPECT_EQ(test::treeEntries(inHome("x")), original);
    EXPECT_EQ(test::entryOf(inHome("notes.txt")), note);
}

TEST_F(Overlap, ABindMountOfTheSourceIsSeenThrough) {
    const QString bound = inHome("bound");
    QDir().mkpath(bound);
    if (::mount(QFile::encodeName(home()).constData(), QFile::encodeName(bound).constData(),
                nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts are not allowed here: " << std::strerror(errno);
    test::generateTree(inHome("Work"), {.seed = 4, .files = 5});
    const auto original = test::treeEntries(inHome("Work"));
    makeMover();
    const EnqueueOutcome outcome = request(inHome("Work"), bound);
    ::umount2(QFile::encodeName(bound).constData(), MNT_DETACH);
    EXPECT_EQ(outcome.kind, Kind::Refused);
    EXPECT_EQ(test::treeEntries(inHome("Work")), original);
}

TEST_F(Overlap, ARelocatedFolderMovedAgainStaysOnTheDriveWhateverIsAsked) {
    test::generateTree(inHome("proj"), {.seed = 5, .files = 12});
    const auto original = test::treeEntries(inHome("proj"));
    makeMover();
    const EnqueueOutcome first = request(inHome("proj"), drive, MoveConflictPolicy::Merge, true);
    ASSERT_EQ(phaseOf(first.job), MovePhase::Done) << errorOf(first.job).toStdString();
    const auto relocated = test::treeEntries(inHome("proj"));

    // Relocate again, as "Re-run Relocate" advises: nothing to do, the links stay.
    for (MoveConflictPolicy policy : {MoveConflictPolicy::Merge, MoveConflictPolicy::Override}) {
        const EnqueueOutcome again = request(inHome("proj"), drive, policy, true);
        ASSERT_EQ(phaseOf(again.job), MovePhase::Done) << errorOf(again.job).toStdString();
        EXPECT_EQ(jobOf(again.job).manifest.statusMessage, LocalFolderMover::alreadyThereStatus());
        EXPECT_EQ(test::treeEntries(inHome("proj")), relocated);
        EXPECT_EQ(test::lostEntries(original, {drive + "/proj"}), QStringList());
    }
    // A plain move: the data is already there, so only the links and folders go.
    const EnqueueOutcome plain = request(inHome("proj"), drive);
    ASSERT_EQ(phaseOf(plain.job), MovePhase::Done) << errorOf(plain.job).toStdString();
    EXPECT_FALSE(QFileInfo::exists(inHome("proj")));
    EXPECT_EQ(test::treeEntries(drive + "/proj"), original);
    const QStringList noops = logTexts(plain.job, MoverLogLine::Source::Info);
    EXPECT_TRUE(noops.last().startsWith("noop: " + inHome("proj") + " linked every file to "))
        << noops.last().toStdString();
}

TEST_F(Overlap, ARelocatedSingleFileIsNeverCopiedOverItsOwnCopy) {
    test::writeRandomFile(inHome("disk.img"), 300000, 8);
    const QByteArray content = test::entryOf(inHome("disk.img"));
    makeMover();
    const EnqueueOutcome first =
        request(inHome("disk.img"), drive, MoveConflictPolicy::Merge, true);
    ASSERT_EQ(phaseOf(first.job), MovePhase::Done) << errorOf(first.job).toStdString();

    EXPECT_EQ(request(inHome("disk.img"), drive, MoveConflictPolicy::Override, true).kind,
              Kind::AlreadyThere);
    EXPECT_TRUE(QFileInfo(inHome("disk.img")).isSymLink()) << "a relocation keeps its link";
    EXPECT_EQ(request(inHome("disk.img"), drive).kind, Kind::AlreadyThere);
    EXPECT_FALSE(QFileInfo(inHome("disk.img")).isSymLink());
    EXPECT_EQ(test::entryOf(drive + "/disk.img"), content);
}

TEST_F(Overlap, LinksIntoTheDestinationAreRefusedUnlessTheSourceIsWhollyALinkToIt) {
    // One file of the source is a link to the very file its copy would overwrite.
    test::generateTree(inHome("x"), {.seed = 6, .files = 4, .symlink = false});
    test::writeText(drive + "/x/data.bin", "only copy");
    QFile::remove(inHome("x/data.bin"));
    ASSERT_TRUE(QFile::link(drive + "/x/data.bin", inHome("x/data.bin")));
    const auto source = test::treeEntries(inHome("x"));
    makeMover();
    const EnqueueOutcome merge = request(inHome("x"), drive);
    ASSERT_EQ(phaseOf(merge.job), MovePhase::Failed);
    EXPECT_EQ(errorOf(merge.job), inHome("x/data.bin") + " links into the destination (" + drive +
                                      "/x/data.bin); moving it would overwrite the data it "
                                      "points to.");
    EXPECT_EQ(test::readText(drive + "/x/data.bin"), "only copy");
    EXPECT_EQ(test::treeEntries(inHome("x")), source);

    // The source itself is a link that reaches the destination through another link.
    test::writeText(drive + "/Music/song.flac", "la");
    ASSERT_TRUE(QFile::link(drive + "/Music", drive + "/alias"));
    ASSERT_TRUE(QFile::link(drive + "/alias", inHome("Music")));
    const EnqueueOutcome link = request(inHome("Music"), drive);
    EXPECT_EQ(link.kind, Kind::AlreadyThere);
    EXPECT_FALSE(QFileInfo(inHome("Music")).isSymLink());
    EXPECT_EQ(test::readText(drive + "/Music/song.flac"), "la");
}

TEST_F(Overlap, AnUnmountedDriveTakesNoCopyAndTheMoveWaitsForIt) {
    test::generateTree(inHome("Docs"), {.seed = 7, .files = 6});
    const auto original = test::treeEntries(inHome("Docs"));
    struct Setting {
        const char *what;
        QByteArray config;
        bool marker;
    };
    // The folder is there either way: an unmounted drive leaves its mount point behind.
    const QList<Setting> settings{
        {"a bare mount point", "NVMe=\"" + drive.toUtf8() + "\"\n", true},
        {"no marker", "NVMe=\"" + drive.toUtf8() + "\"\nNVME_REQUIRE_MOUNTPOINT=0\n", false},
    };
    for (const Setting &setting : settings) {
        test::writeText(paths::configFile(), setting.config);
        if (!setting.marker)
            QFile::remove(markerFile(drive));
        makeMover();
        const QUuid id = enqueue(inHome("Docs"), drive + "/Work");
        ASSERT_TRUE(waitForPhase(id, MovePhase::WaitingForDrive)) << setting.what;
        EXPECT_EQ(errorOf(id), "The NVMe is not mounted; nothing was copied.");
        EXPECT_FALSE(QFileInfo::exists(drive + "/Work")) << setting.what;
        EXPECT_EQ(test::treeEntries(inHome("Docs")), original);
        mover->cancel(id);
    }
    // Once the drive counts as mounted, the parked move goes ahead.
    prepareStandInDrive(drive, "UUID-A");
    makeMover();
    const QUuid parked = mover->jobs().first().id();
    ASSERT_EQ(phaseOf(parked), MovePhase::Cancelled);
    const QUuid id = enqueue(inHome("Docs"), drive + "/Work");
    EXPECT_TRUE(endsDone(id));
    EXPECT_EQ(test::treeEntries(drive + "/Work/Docs"), original);
}

TEST_F(Overlap, AStaleFileOfTheSameSizeAndTimeNeverSurvivesAMerge) {
    const auto plantStale = [&] {
        test::writeText(inHome("Notes/todo.txt"), "fresh text");
        test::writeText(drive + "/Notes/todo.txt", "stale text");
        const QDateTime when = QFileInfo(inHome("Notes/todo.txt")).lastModified();
        QFile stale(drive + "/Notes/todo.txt");
        ASSERT_TRUE(stale.open(QIODevice::ReadWrite));
        ASSERT_TRUE(stale.setFileTime(when, QFileDevice::FileModificationTime));
    };
    plantStale();
    makeMover();
    const QUuid merged = enqueue(inHome("Notes"), drive);
    ASSERT_TRUE(endsDone(merged));
    EXPECT_EQ(test::readText(drive + "/Notes/todo.txt"), "fresh text");
    EXPECT_TRUE(logTexts(merged, MoverLogLine::Source::Command).first().contains("--ignore-times"));

    // A copier that keeps the stale file anyway: thorough verification reads both and refuses.
    useRsync(fakes.add("quick-check-rsync",
                       "[[ $1 == --version ]] && exec /usr/bin/rsync --version\n"
                       "args=(); for a in \"$@\"; do [[ $a == --ignore-times ]] || args+=(\"$a\"); "
                       "done\nexec /usr/bin/rsync \"${args[@]}\""));
    plantStale();
    settings->setVerificationLevel(VerificationLevel::Thorough);
    const QUuid thorough = enqueue(inHome("Notes"), drive);
    ASSERT_TRUE(waitUntilTerminal(thorough));
    EXPECT_EQ(phaseOf(thorough), MovePhase::Failed);
    EXPECT_EQ(errorOf(thorough),
              "Verification failed — 1 file differ: todo.txt. Source preserved.");
    EXPECT_EQ(test::readText(inHome("Notes/todo.txt")), "fresh text");
}

TEST_F(Overlap, ACleanupNeverDeletesTheOnlyCopyWhateverTheRecordSays) {
    // A record whose destination is a link back to the source, as a damaged or hand-edited one
    // might say: the remove step must refuse rather than delete the data both paths lead to.
    test::generateTree(inHome("Keep"), {.seed = 9, .files = 5});
    const auto original = test::treeEntries(inHome("Keep"));
    ASSERT_TRUE(QFile::link(inHome("Keep"), drive + "/Keep"));
    MoveManifest forged;
    forged.id = QUuid::createUuid();
    forged.src = inHome("Keep");
    forged.dstParent = drive;
    forged.finalDst = drive + "/Keep";
    forged.startedAt = forged.updatedAt = QDateTime::currentDateTimeUtc();
    forged.phase = MovePhase::CleaningUp;
    ManifestStore::write(forged);
    makeMover();
    ASSERT_TRUE(waitUntilTerminal(forged.id));
    EXPECT_EQ(phaseOf(forged.id), MovePhase::Failed);
    EXPECT_TRUE(errorOf(forged.id).startsWith("The destination " + drive + "/Keep is the folder"))
        << errorOf(forged.id).toStdString();
    EXPECT_EQ(test::treeEntries(inHome("Keep")), original);
}

TEST_F(Overlap, AHalfRelocatedSourceResumesItsCleanupNeverACopy) {
    // The state an unplug in the middle of the relocate walk leaves: a proven copy, and a source
    // whose first files are links to it while the rest are still files.
    test::generateTree(inHome("Album"), {.seed = 10, .files = 10, .symlink = false});
    const auto original = test::treeEntries(inHome("Album"));
    ASSERT_EQ(QProcess::execute("cp", {"-a", inHome("Album"), drive + "/Album"}), 0);
    int relinked = 0;
    for (auto it = original.cbegin(); it != original.cend() && relinked < 4; ++it)
        if (it.value().startsWith("f:") && QFile::remove(inHome("Album/" + it.key())) &&
            QFile::link(drive + "/Album/" + it.key(), inHome("Album/" + it.key())))
            ++relinked;
    ASSERT_EQ(relinked, 4);

    for (bool parkedDuringCleanup : {false, true}) {
        MoveManifest parked;
        parked.id = QUuid::createUuid();
        parked.src = inHome("Album");
        parked.dstParent = drive;
        parked.finalDst = drive + "/Album";
        parked.driveUUID = "UUID-A";
        parked.startedAt = parked.updatedAt = QDateTime::currentDateTimeUtc();
        parked.phase = MovePhase::WaitingForDrive;
        parked.replaceSourceWithSymlink = true;
        parked.resumeCleanup = parkedDuringCleanup;
        ManifestStore::write(parked);
        makeMover(); // recovery runs at once: the drive is back
        ASSERT_TRUE(waitUntilTerminal(parked.id));
        if (parkedDuringCleanup) {
            EXPECT_EQ(phaseOf(parked.id), MovePhase::Done) << errorOf(parked.id).toStdString();
            for (const QString &path : test::treeEntries(inHome("Album")).keys())
                EXPECT_TRUE(QFileInfo(inHome("Album/" + path)).isSymLink() ||
                            QFileInfo(inHome("Album/" + path)).isDir())
                    << path.toStdString();
        } else {
            // A record without the mark (written before it existed) takes the copy path, and the
            // copy path refuses to write links over the files they point to.
            EXPECT_EQ(phaseOf(parked.id), MovePhase::Failed);
            EXPECT_TRUE(errorOf(parked.id).contains("links into the destination"));
        }
        EXPECT_EQ(test::lostEntries(original, {inHome("Album")}), QStringList());
        EXPECT_EQ(test::treeEntries(drive + "/Album"), original);
        mover.reset();
        ManifestStore::remove(parked.id);
    }
}
