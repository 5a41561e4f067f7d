#pragma once

#include <QString>

#include <optional>

namespace quindle::platform {

// What keeps this user from taking a folder out of its parent.
struct AccessProblem {
    enum class Kind {
        ParentNotWritable, // `path` is the parent: the folder cannot be renamed there
        Unreadable,        // `path` cannot be read, so its copy could not be proven
        NotRemovable       // `path` is a folder whose entries cannot be removed
    };
    Kind kind = Kind::Unreadable;
    QString path;
    bool operator==(const AccessProblem &) const = default;
};

// Nothing when this user can rename `folder`, read every entry in it and empty every folder in
// it; otherwise the first obstacle found.
std::optional<AccessProblem> moveAccessProblem(const QString &folder);

} // namespace quindle::platform
