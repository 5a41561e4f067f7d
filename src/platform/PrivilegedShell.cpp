#include "platform/PrivilegedShell.h"

namespace quindle::platform {

PrivilegedOutcome runPrivilegedShell(const QString &command, const CommandRunner &runner) {
    const CommandResult result =
        runner(QStringLiteral("pkexec"), {QStringLiteral("/bin/sh"), QStringLiteral("-c"), command},
               privilegedPromptTimeout);
    PrivilegedOutcome outcome{PrivilegedOutcome::Kind::Failed, result.status, result.output};
    // pkexec's own codes; a command of ours never ends with them on purpose.
    if (result.status == 0)
        outcome.kind = PrivilegedOutcome::Kind::Succeeded;
    else if (result.status == 126)
        outcome.kind = PrivilegedOutcome::Kind::Cancelled;
    else if (result.status == 127)
        outcome.kind = PrivilegedOutcome::Kind::NotAuthorised;
    return outcome;
}

QString fstabPath() {
    return QStringLiteral("/etc/fstab");
}

QString copyProgram() {
    return QStringLiteral("/bin/cp");
}

QString sedInPlaceCommand() {
    return QStringLiteral("/bin/sed -i");
}

QString privilegedCommandNoun() {
    return QStringLiteral("the administrator command");
}

} // namespace quindle::platform
