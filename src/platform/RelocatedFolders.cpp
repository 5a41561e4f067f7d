#include "platform/RelocatedFolders.h"

namespace quindle::platform {

const QStringList &relocatableFolders() {
    static const QStringList folders{
        QStringLiteral(".local/share/docker"),
        QStringLiteral(".local/share/containers"),
        QStringLiteral("Android/Sdk"),
        QStringLiteral(".android/avd"),
        QStringLiteral(".cache/JetBrains"),
        QStringLiteral(".gradle"),
        QStringLiteral(".m2"),
        QStringLiteral(".cargo"),
        QStringLiteral(".rustup"),
        QStringLiteral(".npm"),
        QStringLiteral(".pnpm-store"),
        QStringLiteral(".local/share/pnpm"),
        QStringLiteral(".yarn"),
    };
    return folders;
}

} // namespace quindle::platform
