#include "mover/TreeQuickCompare.h"

#include "mover/SymlinkPaths.h"

#include <QFile>

#include <cstdlib>
#include <future>

#include <sys/stat.h>
#include <unistd.h>

namespace quindle {

namespace {

QString decimal(double seconds) {
    return QString::number(seconds, 'f', 6);
}

double toSeconds(const timespec &time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

// Filesystems keep different time resolutions, so a copy may round the source's nanoseconds.
// Compared in integer nanoseconds: doubles near today's epoch lose the last digits.
bool mtimesDiffer(const timespec &a, const timespec &b) {
    const qint64 seconds = static_cast<qint64>(a.tv_sec) - static_cast<qint64>(b.tv_sec);
    if (seconds > 1 || seconds < -1)
        return true;
    const qint64 nanoseconds =
        seconds * 1'000'000'000 + (static_cast<qint64>(a.tv_nsec) - static_cast<qint64>(b.tv_nsec));
    return std::llabs(nanoseconds) > 1'000'000;
}

std::optional<DiffReason> compareEntry(const QString &source, const QString &destination) {
    const QByteArray sourceBytes = QFile::encodeName(source);
    const QByteArray destinationBytes = QFile::encodeName(destination);
    struct stat from {
    }, to{};
    DiffReason reason;
    if (::lstat(sourceBytes.constData(), &from) != 0) {
        reason.kind = DiffReason::Kind::ReadError;
        reason.message = QStringLiteral("lstat source failed");
        return reason;
    }
    if (::lstat(destinationBytes.constData(), &to) != 0) {
        reason.kind = DiffReason::Kind::ReadError;
        reason.message = QStringLiteral("lstat destination failed");
        return reason;
    }
    if (from.st_mode != to.st_mode) {
        reason.kind = DiffReason::Kind::ModeMismatch;
        reason.sourceMode = static_cast<quint16>(from.st_mode);
        reason.destinationMode = static_cast<quint16>(to.st_mode);
        return reason;
    }
    if (S_ISLNK(from.st_mode)) {
        reason.sourceTarget = QFile::decodeName(linkBytes(sourceBytes).value_or(QByteArray()));
        reason.destinationTarget =
            QFile::decodeName(linkBytes(destinationBytes).value_or(QByteArray()));
        if (reason.sourceTarget == reason.destinationTarget)
            return std::nullopt;
        reason.kind = DiffReason::Kind::SymlinkTargetMismatch;
        return reason;
    }
    if (S_ISDIR(from.st_mode))
        return std::nullopt;
    if (from.st_size != to.st_size) {
        reason.kind = DiffReason::Kind::SizeMismatch;
        reason.sourceSize = from.st_size;
        reason.destinationSize = to.st_size;
        return reason;
    }
    if (mtimesDiffer(from.st_mtim, to.st_mtim)) {
        reason.kind = DiffReason::Kind::MtimeMismatch;
        reason.sourceMtime = toSeconds(from.st_mtim);
        reason.destinationMtime = toSeconds(to.st_mtim);
        return reason;
    }
    return std::nullopt;
}

} // namespace

QString DiffReason::description() const {
    switch (kind) {
    case Kind::SizeMismatch:
        return QStringLiteral("size %1 ≠ %2").arg(sourceSize).arg(destinationSize);
    case Kind::MtimeMismatch:
        return QStringLiteral("mtime %1 ≠ %2").arg(decimal(sourceMtime), decimal(destinationMtime));
    case Kind::ModeMismatch:
        return QStringLiteral("mode 0%1 ≠ 0%2").arg(sourceMode, 0, 8).arg(destinationMode, 0, 8);
    case Kind::SymlinkTargetMismatch:
        return QStringLiteral("symlink target \"%1\" ≠ \"%2\"")
            .arg(sourceTarget, destinationTarget);
    case Kind::ReadError:
        return QStringLiteral("read error: ") + message;
    case Kind::MissingOnDest:
        return QStringLiteral("missing on destination");
    case Kind::ExtraOnDest:
        return QStringLiteral("extra on destination");
    }
    return QString();
}

std::optional<QList<Difference>> TreeQuickCompare::diff(const QString &source,
                                                        const QString &destination,
                                                        const CancelCheck &cancelled) {
    // The two trees usually sit on two disks: each is walked on its own core.
    std::future<std::optional<QStringList>> destinationWalk =
        std::async(std::launch::async, [&destination] { return listTree(destination); });
    const std::optional<QStringList> sourceList = listTree(source);
    const std::optional<QStringList> destinationList = destinationWalk.get();
    if (!sourceList || !destinationList)
        return std::nullopt;

    // Both listings are sorted the same way, so one merge pass pairs them up. Equal QStrings
    // came from equal bytes; ordering follows the listing's own order.
    QList<Difference> differences;
    QStringList common;
    const auto structural = [](const QString &path, DiffReason::Kind kind) {
        DiffReason reason;
        reason.kind = kind;
        return Difference{path, reason};
    };
    qsizetype s = 0, d = 0;
    while (s < sourceList->size() || d < destinationList->size()) {
        if (d == destinationList->size()) {
            differences << structural(sourceList->at(s++), DiffReason::Kind::MissingOnDest);
        } else if (s == sourceList->size()) {
            differences << structural(destinationList->at(d++), DiffReason::Kind::ExtraOnDest);
        } else if (sourceList->at(s) == destinationList->at(d)) {
            common << sourceList->at(s);
            ++s;
            ++d;
        } else if (QFile::encodeName(sourceList->at(s)) <
                   QFile::encodeName(destinationList->at(d))) {
            differences << structural(sourceList->at(s++), DiffReason::Kind::MissingOnDest);
        } else {
            differences << structural(destinationList->at(d++), DiffReason::Kind::ExtraOnDest);
        }
    }
    // A destination this far off is a wrong copy already; reading attributes adds nothing.
    if (differences.size() > maxStructuralDifferences)
        return differences;

    // Two halves on two cores; the second half's findings follow the first's, in listing order.
    const auto compareRange = [&](qsizetype from,
                                  qsizetype to) -> std::optional<QList<Difference>> {
        QList<Difference> found;
        for (qsizetype i = from; i < to; ++i) {
            if (cancelled && cancelled())
                return std::nullopt;
            const QString &path = common.at(i);
            if (std::optional<DiffReason> reason =
                    compareEntry(entryPath(source, path), entryPath(destination, path)))
                found << Difference{path, *reason};
        }
        return found;
    };
    // A thread costs more than a few dozen lstat pairs.
    constexpr qsizetype kWorthASecondCore = 256;
    const qsizetype middle = common.size() < kWorthASecondCore ? common.size() : common.size() / 2;
    std::future<std::optional<QList<Difference>>> secondHalf =
        std::async(std::launch::async, compareRange, middle, common.size());
    const std::optional<QList<Difference>> first = compareRange(0, middle);
    const std::optional<QList<Difference>> second = secondHalf.get();
    if (!first || !second)
        return std::nullopt;
    return differences + *first + *second;
}

} // namespace quindle
