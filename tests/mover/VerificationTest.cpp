#include "mover/ContentCheck.h"
#include "mover/ProcessRunner.h"
#include "mover/TreeHasher.h"
#include "mover/TreeListing.h"
#include "mover/TreeQuickCompare.h"
#include "support/TempHome.h"
#include "support/TreeGenerator.h"
#include "support/Unprivileged.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quindle;

namespace {

const CancelCheck kNeverCancel = [] { return false; };

QByteArray bigEndian(quint64 value, int bytes) {
    QByteArray out;
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xff);
    return out;
}

QString sha256(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

quint32 modeOf(const QString &path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode;
}

void setMtime(const QString &path, qint64 seconds, long nanoseconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

void chmodPath(const QString &path, mode_t mode) {
    ::chmod(QFile::encodeName(path).constData(), mode);
}

void symlinkAt(const QString &target, const QString &path) {
    ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData());
}

// A sparse file of `size` bytes with marker bytes at the given offsets: large, yet cheap to make.
void writeSparseFile(const QString &path, qint64 size, const QList<qint64> &markers) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(size));
    for (qint64 offset : markers) {
        file.seek(offset);
        file.write("Z", 1);
    }
}

QList<DiffReason::Kind> kinds(const QList<Difference> &differences) {
    QList<DiffReason::Kind> result;
    for (const Difference &difference : differences)
        result << difference.reason.kind;
    return result;
}

// Lives in /tmp so the unprivileged child of test::runUnprivileged can reach it (the temporary
// home is private to root).
struct SharedFolder {
    SharedFolder() { chmodPath(dir.path(), 0755); }
    QString path(const char *relative) const { return dir.path() + u'/' + relative; }
    QTemporaryDir dir{QStringLiteral("/tmp/quindle-verify-XXXXXX")};
};

} // namespace

class Verification : public test::TempHomeTest {
protected:
    // What the mover runs: an archive copy keeping hard links and extended attributes.
    void rsyncCopy(const QString &source, const QString &destination) {
        QDir().mkpath(QFileInfo(destination).path());
        ASSERT_EQ(runProcessAsync("/usr/bin/rsync", {"-aHX", source + u'/', destination}), 0);
    }

    // src/f and dst/f, identical, with the same modification time.
    void twinFiles() {
        for (const QString &file : {inHome("src/f"), inHome("dst/f")}) {
            test::writeText(file, "hello");
            setMtime(file, 1'700'000'000, 100'000'000);
        }
    }

    std::optional<QList<Difference>> diff(const CancelCheck &cancelled = kNeverCancel) {
        return TreeQuickCompare::diff(inHome("src"), inHome("dst"), cancelled);
    }

    // Byte order differs here from folder-by-folder order ("a b" before "a/b") and from UTF-16
    // order (U+FF21 before U+1F600).
    QString awkwardOrderTree() {
        const QString root = inHome("ordered");
        test::writeText(root + "/a/b", "hello");
        test::writeText(root + "/a b", "");
        test::writeText(root + "/.hidden", "secret");
        chmodPath(root + "/.hidden", 0600);
        test::writeText(root + QStringLiteral("/\uFF21"), "x");
        symlinkAt("a/b", root + QStringLiteral("/\U0001F600"));
        ::mkfifo(QFile::encodeName(root + "/fifo").constData(), 0644);
        return root;
    }
};

TEST_F(Verification, ListingIsInByteOrderAndDoesNotFollowLinks) {
    const QString root = awkwardOrderTree();
    symlinkAt("a", root + "/link to folder");

    EXPECT_EQ(listTree(root),
              QStringList({".hidden", "a", "a b", "a/b", "fifo", "link to folder",
                           QStringLiteral("\uFF21"), QStringLiteral("\U0001F600")}));
    EXPECT_EQ(listTree(root + "/link to folder"), QStringList{QString()});
    EXPECT_EQ(listTree(inHome("nothing here")), std::nullopt);
}

TEST_F(Verification, AFolderThatCannotBeReadFailsTheListingInsteadOfBeingSkipped) {
    const SharedFolder shared;
    test::writeText(shared.path("tree/open/a"), "a");
    test::writeText(shared.path("tree/closed/b"), "b");
    chmodPath(shared.path("tree/closed"), 0);
    const QString root = shared.path("tree");
    EXPECT_EQ(test::runUnprivileged([&] { return listTree(root) ? 1 : 0; }), 0);
    chmodPath(shared.path("tree/closed"), 0755);
}

TEST_F(Verification, AnRsyncCopyComparesCleanAndHashesTheSameUntilAPermissionBitDiffers) {
    test::generateTree(inHome("src"));
    test::writeText(inHome("src/plain"), "p");
    rsyncCopy(inHome("src"), inHome("dst"));
    EXPECT_EQ(diff(), QList<Difference>());
    const std::optional<QString> digest = TreeHasher::hash(inHome("src"), nullptr, kNeverCancel);
    ASSERT_TRUE(digest);
    EXPECT_EQ(TreeHasher::hash(inHome("dst"), nullptr, kNeverCancel), digest);

    const QString file = inHome("dst/plain");
    chmodPath(file, modeOf(file) ^ S_IXOTH);
    EXPECT_EQ(kinds(diff().value()), QList{DiffReason::Kind::ModeMismatch});
    EXPECT_NE(TreeHasher::hash(inHome("dst"), nullptr, kNeverCancel), digest);
}

TEST_F(Verification, ModificationTimesWithinOneMillisecondAreEqual) {
    twinFiles();
    const auto reported = [&](qint64 seconds, long nanoseconds) {
        setMtime(inHome("dst/f"), seconds, nanoseconds);
        return !diff().value().isEmpty();
    };
    EXPECT_FALSE(reported(1'700'000'000, 100'500'000));
    EXPECT_FALSE(reported(1'700'000'000, 99'000'000));
    EXPECT_TRUE(reported(1'699'999'999, 100'000'000));
    EXPECT_TRUE(reported(1'700'000'000, 102'000'000));
    EXPECT_EQ(diff().value()[0].reason.description(),
              QStringLiteral("mtime 1700000000.100000 ≠ 1700000000.102000"));
    // A skewed time alone passes the content check that follows.
    EXPECT_TRUE(filesMatchByContent(inHome("src/f"), inHome("dst/f")));

    // Close across a whole-second boundary is still close.
    setMtime(inHome("src/f"), 1'700'000'000, 999'800'000);
    EXPECT_FALSE(reported(1'700'000'001, 100'000));
}

TEST_F(Verification, ReportsModeLinkTargetAndSizeDifferences) {
    test::writeText(inHome("src/mode"), "m");
    test::writeText(inHome("src/size"), "12345");
    test::writeText(inHome("src/was file"), "");
    QDir().mkpath(inHome("src/folder"));
    symlinkAt("mode", inHome("src/link"));
    rsyncCopy(inHome("src"), inHome("dst"));

    chmodPath(inHome("src/mode"), 0644);
    chmodPath(inHome("dst/mode"), 0600);
    test::writeText(inHome("dst/size"), "123456");
    QFile::remove(inHome("dst/link"));
    symlinkAt("size", inHome("dst/link"));
    QFile::remove(inHome("dst/was file"));
    QDir().mkpath(inHome("dst/was file"));
    chmodPath(inHome("dst/was file"), 0644);
    chmodPath(inHome("src/was file"), 0644);
    // A folder's own time is not compared: copying into it changes it anyway.
    setMtime(inHome("dst/folder"), 1'000'000'000, 0);

    const QList<Difference> differences = diff().value();
    QStringList described;
    for (const Difference &difference : differences)
        described << difference.relativePath + ": " + difference.reason.description();
    EXPECT_EQ(described, QStringList({"link: symlink target \"mode\" ≠ \"size\"",
                                      "mode: mode 0100644 ≠ 0100600", "size: size 5 ≠ 6",
                                      "was file: mode 0100644 ≠ 040644"}));
}

TEST_F(Verification, MissingAndExtraEntriesAreStructuralAndCountTowardsTheCutOff) {
    twinFiles();
    chmodPath(inHome("dst/f"), 0600);
    test::writeText(inHome("dst/extra"), "");
    for (int i = 0; i < 63; ++i)
        test::writeText(inHome("src/missing %1").arg(i, 2, 10, QLatin1Char('0')), "");

    QList<Difference> differences = diff().value();
    ASSERT_EQ(differences.size(), 65);
    EXPECT_EQ(differences[0].relativePath, QStringLiteral("extra"));
    EXPECT_EQ(differences[0].reason.description(), QStringLiteral("extra on destination"));
    EXPECT_EQ(differences[1].reason.description(), QStringLiteral("missing on destination"));
    EXPECT_EQ(differences.last().relativePath, QStringLiteral("f"));
    EXPECT_EQ(differences.last().reason.kind, DiffReason::Kind::ModeMismatch);

    // Past 64 structural differences the copy is plainly wrong: attributes are not read.
    test::writeText(inHome("src/missing 99"), "");
    differences = diff().value();
    ASSERT_EQ(differences.size(), 65);
    EXPECT_FALSE(kinds(differences).contains(DiffReason::Kind::ModeMismatch));
    EXPECT_EQ(TreeQuickCompare::diff(inHome("src"), inHome("absent"), kNeverCancel), std::nullopt);
}

TEST_F(Verification, ASingleFileIsComparedByItsOwnAttributes) {
    twinFiles();
    EXPECT_EQ(TreeQuickCompare::diff(inHome("src/f"), inHome("dst/f"), kNeverCancel),
              QList<Difference>());
    test::writeText(inHome("dst/f"), "hello!");
    const QList<Difference> differences =
        TreeQuickCompare::diff(inHome("src/f"), inHome("dst/f"), kNeverCancel).value();
    ASSERT_EQ(differences.size(), 1);
    EXPECT_EQ(differences[0].relativePath, QString());
    EXPECT_EQ(differences[0].reason.kind, DiffReason::Kind::SizeMismatch);
}

TEST_F(Verification, CancellingGivesNothingAndAnEntryVanishingMidWalkIsAReadError) {
    test::generateTree(inHome("src"));
    rsyncCopy(inHome("src"), inHome("dst"));
    int asked = 0;
    EXPECT_EQ(diff([&] { return ++asked == 3; }), std::nullopt);
    EXPECT_EQ(asked, 3);

    QDir(inHome("src")).removeRecursively();
    QDir(inHome("dst")).removeRecursively();
    twinFiles();
    const auto removeDestination = [&] {
        QFile::remove(inHome("dst/f"));
        return false;
    };
    const QList<Difference> differences = diff(removeDestination).value();
    ASSERT_EQ(differences.size(), 1);
    EXPECT_EQ(differences[0].reason.description(),
              QStringLiteral("read error: lstat destination failed"));
}

TEST_F(Verification, DigestIsSha256OfTheDocumentedByteStream) {
    const QString root = awkwardOrderTree();
    const auto head = [&](const QString &relative) {
        return relative.toUtf8() + '\0' + bigEndian(modeOf(root + u'/' + relative), 4) + '\0';
    };
    const auto file = [&](const QString &relative, const QByteArray &content) {
        return head(relative) + bigEndian(content.size(), 8) + '\0' + content + '\n';
    };
    // Written out in the documented order rather than sorted here, so the order is pinned too.
    const QByteArray stream = file(".hidden", "secret") + head("a") + '\n' + file("a b", "") +
                              file("a/b", "hello") + head("fifo") + "SPECIAL\n" +
                              file(QStringLiteral("\uFF21"), "x") +
                              head(QStringLiteral("\U0001F600")) + bigEndian(3, 8) + '\0' + "a/b\n";
    EXPECT_EQ(TreeHasher::hash(root, nullptr, kNeverCancel), sha256(stream));
}

TEST_F(Verification, AnUnreadableFileHashesToItsMarker) {
    const SharedFolder shared;
    const QString root = shared.path("tree");
    test::writeText(root + "/closed", "private");
    chmodPath(root + "/closed", 0);
    const QString expected = sha256("closed" + QByteArray(1, '\0') + bigEndian(0100000, 4) + '\0' +
                                    bigEndian(7, 8) + '\0' + "ERR_UNREADABLE\n");
    EXPECT_EQ(test::runUnprivileged([&] {
                  return TreeHasher::hash(root, nullptr, kNeverCancel) == expected &&
                         TreeHasher::hash(root, nullptr, kNeverCancel) == expected;
              }),
              1);
}

TEST_F(Verification, ALargeFileHashesInOneBufferAcrossChunkBoundaries) {
    constexpr qint64 size = 64 * 1024 * 1024 + 123;
    constexpr qint64 chunk = TreeHasher::chunkBytes;
    const QString path = inHome("big.bin");
    writeSparseFile(path, size, {0, chunk - 1, chunk, 40'000'000, size - 1});

    // The root itself is the only entry, with an empty relative path.
    QCryptographicHash expected(QCryptographicHash::Sha256);
    expected.addData(QByteArray(1, '\0') + bigEndian(modeOf(path), 4) + '\0' + bigEndian(size, 8) +
                     '\0');
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    while (!file.atEnd())
        expected.addData(file.read(64 * 1024));
    expected.addData(QByteArrayView("\n"));

    const auto statusKB = [](const char *field) {
        const QByteArray status = test::readText("/proc/self/status");
        const qsizetype at = status.indexOf(field) + qstrlen(field);
        return status.mid(at, status.indexOf(" kB", at) - at).trimmed().toLongLong();
    };
    const qint64 before = statusKB("VmRSS:");
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs")); // resets the peak to the current size
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();

    EXPECT_EQ(TreeHasher::hash(path, nullptr, kNeverCancel),
              QString::fromLatin1(expected.result().toHex()));
    EXPECT_LT(statusKB("VmHWM:") - before, 16 * 1024) << "KiB of peak growth while hashing";
}

TEST_F(Verification, ProgressClimbsToTheDuTotal) {
    test::TreeSpec spec;
    spec.maxFileBytes = 512 * 1024;
    test::generateTree(inHome("tree"), spec);
    const qint64 total = duKBAsync(inHome("tree")).value() * 1024;

    QList<std::pair<qint64, qint64>> reports;
    const auto record = [&](qint64 done, qint64 of) { reports.append({done, of}); };
    ASSERT_TRUE(TreeHasher::hash(inHome("tree"), record, kNeverCancel));
    ASSERT_GE(reports.size(), 3);
    EXPECT_EQ(reports.last(), std::make_pair(total, total));
    for (qsizetype i = 1; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].second, total);
        EXPECT_GE(reports[i].first, reports[i - 1].first);
    }
}

TEST_F(Verification, AVanishedRootOrACancelledHashGivesNothing) {
    const QString root = inHome("tree");
    test::generateTree(root);
    int asked = 0;
    EXPECT_EQ(TreeHasher::hash(root, nullptr, [&] { return ++asked == 2; }), std::nullopt);
    EXPECT_EQ(asked, 2);

    // The drive going away mid-walk looks like the root disappearing.
    const auto unplug = [&] {
        QDir(root).removeRecursively();
        return false;
    };
    EXPECT_EQ(TreeHasher::hash(root, nullptr, unplug), std::nullopt);
    EXPECT_FALSE(QFile::exists(root));
}

TEST_F(Verification, ContentCheckComparesEveryChunkAndLinkTargets) {
    constexpr qint64 size = contentCheckChunkBytes + 10;
    const QString a = inHome("a.bin"), b = inHome("b.bin");
    writeSparseFile(a, size, {5, size - 1});
    writeSparseFile(b, size, {5, size - 1});
    EXPECT_TRUE(filesMatchByContent(a, b));
    writeSparseFile(b, size, {5, size - 2});
    EXPECT_FALSE(filesMatchByContent(a, b)) << "a difference in the last, short chunk";

    test::writeText(inHome("short"), "abc");
    test::writeText(inHome("longer"), "abcd");
    test::writeText(inHome("empty"), "");
    test::writeText(inHome("empty too"), "");
    QDir().mkpath(inHome("folder"));
    symlinkAt("short", inHome("link"));
    EXPECT_FALSE(filesMatchByContent(inHome("short"), inHome("longer")));
    EXPECT_TRUE(filesMatchByContent(inHome("empty"), inHome("empty too")));
    EXPECT_FALSE(filesMatchByContent(inHome("short"), inHome("missing")));
    EXPECT_FALSE(filesMatchByContent(inHome("short"), inHome("folder")));
    EXPECT_FALSE(filesMatchByContent(inHome("short"), inHome("link")));
    EXPECT_TRUE(filesMatchByContent(inHome("folder"), inHome("short")));
    // A link matches only a link with the same target: a retargeted link is a real difference.
    symlinkAt("short", inHome("same link"));
    symlinkAt("longer", inHome("other link"));
    EXPECT_TRUE(filesMatchByContent(inHome("link"), inHome("same link")));
    EXPECT_FALSE(filesMatchByContent(inHome("link"), inHome("other link")));
    EXPECT_FALSE(filesMatchByContent(inHome("link"), inHome("longer")));
}

TEST(SizeRule, DecidesOverrideAndMergeAtTheBoundaries) {
    const auto Override = MoveConflictPolicy::Override, Merge = MoveConflictPolicy::Merge;
    const struct {
        std::optional<qint64> source, destination;
        MoveConflictPolicy policy;
        bool plausible;
    } rows[] = {{1000, 985, Override, true},
                {1000, 984, Override, true},
                {1000, 983, Override, false},
                {1000, 1016, Override, true},
                {1000, 1017, Override, false},
                {1000, 983, Merge, false},
                {1000, 984, Merge, true},
                {1000, 50'000, Merge, true},
                // 16 KiB below 1700 KiB, then 1 %.
                {1699, 1682, Override, false},
                {1700, 1683, Override, true},
                {1800, 1782, Override, true},
                {1800, 1781, Override, false},
                {100'000, 98'000, Override, false},
                // An empty destination never passes, however small the source.
                {10, 0, Override, false},
                {10, 0, Merge, false},
                // Unknown or empty source: only an empty destination fits.
                {std::nullopt, 0, Override, true},
                {0, 0, Merge, true},
                {std::nullopt, 4, Merge, false},
                {0, 4, Override, false},
                // du failed on the destination.
                {1000, std::nullopt, Merge, false},
                {0, std::nullopt, Override, false}};
    for (const auto &row : rows)
        EXPECT_EQ(sizesPlausible(row.source, row.destination, row.policy), row.plausible)
            << row.source.value_or(-1) << " vs " << row.destination.value_or(-1) << " "
            << rawValue(row.policy).toStdString();
}

TEST_F(Verification, SizeCheckMeasuresWithDuAndTrustsAKnownSourceSize) {
    test::writeRandomFile(inHome("src/a"), 300 * 1024, 1);
    rsyncCopy(inHome("src"), inHome("dst"));
    test::writeRandomFile(inHome("dst/already there"), 200 * 1024, 2);

    EXPECT_TRUE(sizesMatchAsync(inHome("src"), inHome("dst"), 0, MoveConflictPolicy::Merge));
    EXPECT_FALSE(sizesMatchAsync(inHome("src"), inHome("dst"), 0, MoveConflictPolicy::Override));
    // A known size replaces the source measurement, even for a source that is gone.
    EXPECT_TRUE(sizesMatchAsync(inHome("gone"), inHome("dst"), 500, MoveConflictPolicy::Override));
    EXPECT_FALSE(sizesMatchAsync(inHome("src"), inHome("nowhere"), 0, MoveConflictPolicy::Merge));
}
