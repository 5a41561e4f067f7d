#pragma once

#include "platform/UserService.h"

#include <QString>
#include <QStringList>

namespace quindle::platform {

struct PrivilegedOutcome {
    enum class Kind { Succeeded, Cancelled, NotAuthorised, Failed };
    Kind kind = Kind::Failed;
    int status = -1;
    QString output;
};

// Runs `command` with `/bin/sh -c` as the administrator after the desktop's password prompt
// (pkexec). The command must already be safe for the shell: nothing here quotes it.
PrivilegedOutcome runPrivilegedShell(const QString &command, const CommandRunner &runner);

// How long the password prompt may stay open.
constexpr std::chrono::minutes privilegedPromptTimeout{5};

// The file system table and the programs its privileged edit runs.
QString fstabPath();
QString copyProgram();
// The stream editor and its in-place switch, as they are written in a shell command.
QString sedInPlaceCommand();

// What runs the privileged command, for "Could not construct <noun>."
QString privilegedCommandNoun();

} // namespace quindle::platform
