#pragma once

#include <QString>

#include <chrono>
#include <variant>

namespace quindle {

// A downloaded update unpacked beside the installed copy and checked as a Quindle build before
// anything is replaced. Blocks: run it on a worker.
class UpdatePackage {
public:
    struct Staged {
        QString stagingFolder; // .quindle-update-<id>/ beside the install folder
        QString build;         // the new install folder inside it
    };
    // Why the package was refused, a sentence; the staging folder is already gone.
    struct Refused {
        QString reason;
        // The whole text shown to the person.
        QString message() const;
    };

    // Unpacks `archive` into a new staging folder beside `installFolder` (same filesystem, so the
    // swap is one rename) and checks the build it holds reports `expectedVersion`.
    static std::variant<Staged, Refused>
    stage(const QString &archive, const QString &installFolder, const QString &expectedVersion,
          std::chrono::milliseconds startLimit = std::chrono::seconds(10));

    // What a complete build holds besides bin/quindle.
    static const QStringList &requiredFiles();
};

} // namespace quindle
