#include "transfers/RemoteCaps.h"

#include <QHash>

#include <algorithm>

namespace quindle::RemoteCaps {

std::optional<int> limit(const QString &type) {
    static const QHash<QString, int> perType{{QStringLiteral("drive"), 5},
                                             {QStringLiteral("googlephotos"), 3},
                                             {QStringLiteral("s3"), 10},
                                             {QStringLiteral("ftp"), 10},
                                             {QStringLiteral("sftp"), 10}};
    if (const auto found = perType.constFind(type); found != perType.cend())
        return *found;
    return std::nullopt;
}

int countOfType(const QList<Remote> &remotes, const QString &type) {
    return static_cast<int>(
        std::count_if(remotes.cbegin(), remotes.cend(),
                      [&](const Remote &remote) { return remote.type == type; }));
}

bool limitReached(const QList<Remote> &remotes, const QString &type) {
    const std::optional<int> most = limit(type);
    return most && countOfType(remotes, type) >= *most;
}

QString limitReachedText(const QString &type) {
    return QStringLiteral("Account limit reached for ") + remoteTypeDisplayName(type) +
           QStringLiteral(". Remove one to add another.");
}

QString usageBadge(const QList<Remote> &remotes, const QString &type) {
    const std::optional<int> most = limit(type);
    return most ? QStringLiteral("%1/%2").arg(countOfType(remotes, type)).arg(*most) : QString();
}

} // namespace quindle::RemoteCaps
