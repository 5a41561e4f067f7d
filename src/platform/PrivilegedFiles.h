#pragma once

#include <QString>

#include <optional>

namespace quindle::platform {

// The first file under `root` that runs with more than its user's rights: setuid, setgid, or
// carrying file capabilities. Such a file loses them when a user copies it elsewhere.
std::optional<QString> privilegedProgram(const QString &root);

} // namespace quindle::platform
