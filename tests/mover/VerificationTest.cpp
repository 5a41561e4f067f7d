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

#include <atomic>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quindle;
using test::writeText;

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

} // namespace

class Verification : public test::TempHomeTest {
protected:
    // What the mover runs: an archive copy keeping hard links and extended attributes.
    void rsyncCopy() {
        ASSERT_EQ(runProcessAsync("/usr/bin/rsync", {"-aHX", inHome("src/"), inHome("dst")}), 0);
    }
    // src/f and dst/f, identical, with the same modification time.
    void twinFiles() {
        for (const QString &file : {inHome("src/f"), inHome("dst/f")}) {
            writeText(file, "hello");
            setMtime(file, 1'700'000'000, 100'000'000);
        }
    }
    std::optional<QList<Difference>> diff(const CancelCheck &cancelled = kNeverCancel) {
        return TreeQuickCompare::diff(inHome("src"), inHome("dst"), cancelled);
    }
    QStringList described(const QList<Difference> &differences) {
        QStringList lines;
        for (const Difference &difference : differences)
            lines << difference.relativePath + ": " + difference.reason.description();
        return lines;
    }
};

TEST_F(Verification, ListingAndDigestFollowByteOrderAndTheDocumentedByteStream) {
    // Byte order differs here from folder-by-folder order ("a b" before "a/b") and from UTF-16
    // order (U+FF21 before U+1F600).
    const QString root = inHome("ordered");
    writeText(root + "/a/b", "hello");
    writeText(root + "/a b", "");
    writeText(root + "/.hidden", "secret");
    chmodPath(root + "/.hidden", 0600);
    writeText(root + QStringLiteral("/\uFF21"), "x");
    symlinkAt("a", root + QStringLiteral("/\U0001F600"));
    ::mkfifo(QFile::encodeName(root + "/fifo").constData(), 0644);
    EXPECT_EQ(listTree(root),
              QStringList({".hidden", "a", "a b", "a/b", "fifo", QStringLiteral("\uFF21"),
                           QStringLiteral("\U0001F600")}));
    EXPECT_EQ(listTree(root + QStringLiteral("/\U0001F600")),
              QStringList{QString()}); // not followed
    EXPECT_EQ(listTree(inHome("nothing here")), std::nullopt);

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
                              head(QStringLiteral("\U0001F600")) + bigEndian(1, 8) + '\0' + "a\n";
    EXPECT_EQ(TreeHasher::hash(root, nullptr, kNeverCancel), sha256(stream));
}

// The temporary home is private to root: what nobody must fail to read lives in /tmp.
TEST(VerificationAccess, AnUnreadableFolderFailsTheListingAndAnUnreadableFileHashesToItsMarker) {
    QTemporaryDir shared("/tmp/quindle-verify-XXXXXX");
    chmodPath(shared.path(), 0755);
    const QString root = shared.path() + "/tree";
    writeText(root + "/closed/b", "b");
    writeText(root + "/file/closed", "private");
    chmodPath(root + "/closed", 0);
    chmodPath(root + "/file/closed", 0);
    const QString marker = sha256("closed" + QByteArray(1, '\0') + bigEndian(0100000, 4) + '\0' +
                                  bigEndian(7, 8) + '\0' + "ERR_UNREADABLE\n");
    EXPECT_EQ(test::runUnprivileged([&] {
                  const auto hashed = [&] {
                      return TreeHasher::hash(root + "/file", nullptr, kNeverCancel);
                  };
                  return !listTree(root) && hashed() == marker && hashed() == marker;
              }),
              1);
    chmodPath(root + "/closed", 0755);
}

TEST_F(Verification, AnRsyncCopyComparesCleanAndHashesTheSameUntilAPermissionBitDiffers) {
    test::generateTree(inHome("src"));
    writeText(inHome("src/plain"), "p");
    rsyncCopy();
    EXPECT_EQ(diff(), QList<Difference>());
    const std::optional<QString> digest = TreeHasher::hash(inHome("src"), nullptr, kNeverCancel);
    ASSERT_TRUE(digest);
    EXPECT_EQ(TreeHasher::hash(inHome("dst"), nullptr, kNeverCancel), digest);

    chmodPath(inHome("dst/plain"), modeOf(inHome("dst/plain")) ^ S_IXOTH);
    const QList<Difference> differences = diff().value();
    ASSERT_EQ(differences.size(), 1);
    EXPECT_EQ(differences[0].reason.kind, DiffReason::Kind::ModeMismatch);
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
    EXPECT_EQ(described(diff().value()),
              QStringList{"f: mtime 1700000000.100000 ≠ 1700000000.102000"});
    // A skewed time alone passes the content check that follows.
    EXPECT_TRUE(filesMatchByContent(inHome("src/f"), inHome("dst/f")));
    // Close across a whole-second boundary is still close.
    setMtime(inHome("src/f"), 1'700'000'000, 999'800'000);
    EXPECT_FALSE(reported(1'700'000'001, 100'000));

    // A single file is compared by its own attributes.
    writeText(inHome("dst/f"), "hello!");
    EXPECT_EQ(
        described(TreeQuickCompare::diff(inHome("src/f"), inHome("dst/f"), kNeverCancel).value()),
        QStringList{": size 5 ≠ 6"});
}

TEST_F(Verification, ReportsModeLinkTargetAndSizeDifferences) {
    writeText(inHome("src/mode"), "m");
    writeText(inHome("src/size"), "12345");
    writeText(inHome("src/was file"), "");
    QDir().mkpath(inHome("src/folder"));
    symlinkAt("mode", inHome("src/link"));
    rsyncCopy();

    chmodPath(inHome("src/mode"), 0644);
    chmodPath(inHome("dst/mode"), 0600);
    writeText(inHome("dst/size"), "123456");
    QFile::remove(inHome("dst/link"));
    symlinkAt("size", inHome("dst/link"));
    QFile::remove(inHome("dst/was file"));
    QDir().mkpath(inHome("dst/was file"));
    chmodPath(inHome("dst/was file"), 0644);
    chmodPath(inHome("src/was file"), 0644);
    // A folder's own time is not compared: copying into it changes it anyway.
    setMtime(inHome("dst/folder"), 1'000'000'000, 0);

    EXPECT_EQ(
        described(diff().value()),
        QStringList({"link: symlink target \"mode\" ≠ \"size\"", "mode: mode 0100644 ≠ 0100600",
                     "size: size 5 ≠ 6", "was file: mode 0100644 ≠ 040644"}));
}

TEST_F(Verification, ALargeTreeComparedOnTwoCoresReportsInListingOrder) {
    for (int i = 0; i < 600; ++i)
        writeText(inHome(QStringLiteral("src/f%1").arg(i, 3, 10, QLatin1Char('0'))), "same");
    rsyncCopy();
    // One difference in each half, and one right at the split.
    for (const char *name : {"dst/f007", "dst/f300", "dst/f599"})
        writeText(inHome(name), "longer");
    EXPECT_EQ(described(diff().value()),
              QStringList({"f007: size 4 ≠ 6", "f300: size 4 ≠ 6", "f599: size 4 ≠ 6"}));
    std::atomic_int asked = 0;
    EXPECT_EQ(diff([&] { return ++asked >= 400; }), std::nullopt) << "cancelled in either half";
}

TEST_F(Verification, MissingAndExtraEntriesAreStructuralAndCountTowardsTheCutOff) {
    twinFiles();
    chmodPath(inHome("src/f"), 0644);
    chmodPath(inHome("dst/f"), 0600);
    writeText(inHome("dst/extra"), "");
    for (int i = 0; i < 63; ++i)
        writeText(inHome("src/missing %1").arg(i, 2, 10, QLatin1Char('0')), "");

    QStringList differences = described(diff().value());
    ASSERT_EQ(differences.size(), 65);
    EXPECT_EQ(differences.first(), "extra: extra on destination");
    EXPECT_EQ(differences.at(1), "missing 00: missing on destination");
    EXPECT_EQ(differences.last(), "f: mode 0100644 ≠ 0100600");

    // Past 64 structural differences the copy is plainly wrong: attributes are not read.
    writeText(inHome("src/missing 99"), "");
    differences = described(diff().value());
    ASSERT_EQ(differences.size(), 65);
    EXPECT_EQ(differences.last(), "missing 99: missing on destination");
    EXPECT_EQ(TreeQuickCompare::diff(inHome("src"), inHome("absent"), kNeverCancel), std::nullopt);
}

TEST_F(Verification, CancellingGivesNothingAndSoDoesARootThatVanishes) {
    test::generateTree(inHome("src"));
    rsyncCopy();
    std::atomic_int asked = 0; // asked from two threads
    EXPECT_EQ(diff([&] { return ++asked >= 3; }), std::nullopt);
    EXPECT_GE(asked, 3);
    asked = 0;
    EXPECT_EQ(TreeHasher::hash(inHome("src"), nullptr, [&] { return ++asked == 3; }), std::nullopt);
    EXPECT_EQ(asked, 3);
    // The drive going away mid-walk looks like the root disappearing.
    EXPECT_EQ(TreeHasher::hash(inHome("src"), nullptr,
                               [&] { return !QDir(inHome("src")).removeRecursively(); }),
              std::nullopt);
    EXPECT_FALSE(QFile::exists(inHome("src")));

    // An entry vanishing mid-walk is a read error, not a match.
    QDir(inHome("dst")).removeRecursively();
    twinFiles();
    const auto removeDestination = [&] {
        QFile::remove(inHome("dst/f"));
        return false;
    };
    EXPECT_EQ(described(diff(removeDestination).value()),
              QStringList{"f: read error: lstat destination failed"});
}

TEST_F(Verification, BothTreesAtOnceGiveEachTreesOwnDigestAndTheSourceProgressFirst) {
    test::generateTree(inHome("src"), {.seed = 3, .files = 40});
    rsyncCopy();
    writeSparseFile(inHome("src/sparse"), 8 * TreeHasher::chunkBytes + 5, {0, 3 * 1024 * 1024});
    writeText(inHome("src/empty"), "");
    writeText(inHome("src/new\nline"), "x");
    rsyncCopy();
    QFile::remove(inHome("dst/empty")); // one difference, on the destination side
    const std::optional<QString> source = TreeHasher::hash(inHome("src"), nullptr, kNeverCancel);
    const std::optional<QString> destination =
        TreeHasher::hash(inHome("dst"), nullptr, kNeverCancel);
    ASSERT_TRUE(source && destination);
    ASSERT_NE(*source, *destination);

    QStringList order;
    std::mutex lock;
    const auto noting = [&](const QString &side) {
        return [&, side](qint64, qint64) {
            const std::lock_guard<std::mutex> guard(lock);
            if (order.isEmpty() || order.last() != side)
                order << side;
        };
    };
    const TreeHasher::Pair both = TreeHasher::hashBoth(
        inHome("src"), inHome("dst"), noting("source"), noting("destination"), kNeverCancel);
    EXPECT_EQ(both.source, source);
    EXPECT_EQ(both.destination, destination);
    EXPECT_EQ(order, QStringList({"source", "destination"})) << "never interleaved";

    // A source that cannot be hashed stops the other side and leaves it empty.
    const TreeHasher::Pair missing =
        TreeHasher::hashBoth(inHome("nowhere"), inHome("dst"), nullptr, nullptr, kNeverCancel);
    EXPECT_EQ(missing.source, std::nullopt);
    EXPECT_EQ(missing.destination, std::nullopt);
    std::atomic_int asked = 0;
    const TreeHasher::Pair cancelled = TreeHasher::hashBoth(inHome("src"), inHome("dst"), nullptr,
                                                            nullptr, [&] { return ++asked >= 3; });
    EXPECT_EQ(cancelled.source, std::nullopt);
    EXPECT_EQ(cancelled.destination, std::nullopt);
}

TEST_F(Verification, ALargeFileHashesInBoundedMemoryAcrossChunkBoundaries) {
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
    QFile clearRefs("/proc/self/clear_refs"); // resets the peak to the current size
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();

    EXPECT_EQ(TreeHasher::hash(path, nullptr, kNeverCancel),
              QString::fromLatin1(expected.result().toHex()));
    EXPECT_LT(statusKB("VmHWM:") - before, 16 * 1024) << "KiB of peak growth while hashing";
}

TEST_F(Verification, ContentCheckComparesEveryChunkAndLinkTargets) {
    constexpr qint64 size = contentCheckChunkBytes + 10;
    const QString a = inHome("a.bin"), b = inHome("b.bin");
    writeSparseFile(a, size, {5, size - 1});
    writeSparseFile(b, size, {5, size - 1});
    EXPECT_TRUE(filesMatchByContent(a, b));
    writeSparseFile(b, size, {5, size - 2});
    EXPECT_FALSE(filesMatchByContent(a, b)) << "a difference in the last, short chunk";

    writeText(inHome("short"), "abc");
    writeText(inHome("longer"), "abcd");
    writeText(inHome("empty"), "");
    writeText(inHome("empty too"), "");
    QDir().mkpath(inHome("folder"));
    symlinkAt("short", inHome("link"));
    symlinkAt("short", inHome("same link"));
    symlinkAt("longer", inHome("other link"));
    // A link matches only a link with the same target: a retargeted link is a real difference; a
    // folder only a folder.
    const std::tuple<const char *, const char *, bool> pairs[] = {
        {"short", "longer", false},  {"empty", "empty too", true},  {"short", "missing", false},
        {"short", "folder", false},  {"short", "link", false},      {"folder", "short", false},
        {"link", "same link", true}, {"link", "other link", false}, {"link", "longer", false}};
    for (const auto &[source, destination, match] : pairs)
        EXPECT_EQ(filesMatchByContent(inHome(source), inHome(destination)), match)
            << source << " vs " << destination;
}

TEST_F(Verification, SizesMatchWithinTheToleranceAsDuMeasuresThem) {
    const auto Override = MoveConflictPolicy::Override, Merge = MoveConflictPolicy::Merge;
    const struct {
        std::optional<qint64> source, destination;
        MoveConflictPolicy policy;
        bool plausible;
    } rows[] = {{1000, 984, Override, true},
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
                // Unknown or empty source: only an empty destination fits.
                {std::nullopt, 0, Override, true},
                {0, 0, Merge, true},
                {std::nullopt, 4, Merge, false},
                {0, 4, Override, false},
                // du failed on the destination.
                {1000, std::nullopt, Merge, false}};
    for (const auto &row : rows)
        EXPECT_EQ(sizesPlausible(row.source, row.destination, row.policy), row.plausible)
            << row.source.value_or(-1) << " vs " << row.destination.value_or(-1) << " "
            << rawValue(row.policy).toStdString();

    test::writeRandomFile(inHome("src/a"), 300 * 1024, 1);
    rsyncCopy();
    test::writeRandomFile(inHome("dst/already there"), 200 * 1024, 2);
    EXPECT_TRUE(sizesMatchAsync(inHome("src"), inHome("dst"), 0, Merge));
    EXPECT_FALSE(sizesMatchAsync(inHome("src"), inHome("dst"), 0, Override));
    // A known size replaces the source measurement, even for a source that is gone.
    EXPECT_TRUE(sizesMatchAsync(inHome("gone"), inHome("dst"), 500, Override));
    EXPECT_FALSE(sizesMatchAsync(inHome("src"), inHome("nowhere"), 0, Merge));
}
