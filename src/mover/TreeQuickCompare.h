#pragma once

#include "mover/TreeListing.h"

#include <QList>
#include <QString>

#include <optional>

namespace quindle {

// Why one entry differs between the source and the destination tree.
struct DiffReason {
    enum class Kind {
        SizeMismatch,
        MtimeMismatch,
        ModeMismatch,
        SymlinkTargetMismatch,
        ReadError,
        MissingOnDest,
        ExtraOnDest
    };
    Kind kind = Kind::MissingOnDest;
    qint64 sourceSize = 0, destinationSize = 0;
    double sourceMtime = 0, destinationMtime = 0; // seconds with nanoseconds
    quint16 sourceMode = 0, destinationMode = 0;
    QString sourceTarget, destinationTarget;
    QString message; // for ReadError

    QString description() const;
    bool operator==(const DiffReason &) const = default;
};

struct Difference {
    QString relativePath; // empty for a single-file move
    DiffReason reason;
    bool operator==(const Difference &) const = default;
};

// The stat-based comparison of a freshly copied tree with its source. Touches metadata only.
class TreeQuickCompare {
public:
    static constexpr int maxStructuralDifferences = 64;

    // Nothing when either tree cannot be listed or when cancelled. Blocks: run it on a worker.
    // The trees are walked and compared on two threads, which both ask `cancelled`.
    static std::optional<QList<Difference>> diff(const QString &source, const QString &destination,
                                                 const CancelCheck &cancelled);
};

} // namespace quindle
