#include "transfers/Endpoint.h"

#include <QDir>

namespace quindle {

bool isRemotePath(const QString &endpoint) {
    const qsizetype colon = endpoint.indexOf(QLatin1Char(':'));
    if (colon < 1)
        return false;
    const qsizetype slash = endpoint.indexOf(QLatin1Char('/'));
    return slash < 0 || slash > colon;
}

std::optional<QString> remoteName(const QString &endpoint) {
    if (!isRemotePath(endpoint))
        return std::nullopt;
    return endpoint.left(endpoint.indexOf(QLatin1Char(':')));
}

QString transferAccountType(const QString &source, const QString &destination,
                            const QHash<QString, QString> &types) {
    std::optional<QString> name = remoteName(destination);
    if (!name)
        name = remoteName(source);
    if (!name)
        return QStringLiteral("local");
    return types.value(*name);
}

std::optional<QString> endpointProblem(const QString &endpoint,
                                       const std::function<bool(const QString &)> &remoteExists) {
    if (const std::optional<QString> name = remoteName(endpoint)) {
        if (remoteExists(*name))
            return std::nullopt;
        return QStringLiteral("No rclone remote is named “%1”.").arg(*name);
    }
    // A relative path would be resolved against whatever folder rclone happens to start in.
    if (!QDir::isAbsolutePath(endpoint))
        return QStringLiteral(
            "Use a full path such as /home/you/Photos, or a remote such as name:folder.");
    return std::nullopt;
}

} // namespace quindle
