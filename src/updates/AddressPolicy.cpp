#include "updates/AddressPolicy.h"

namespace quindle {

namespace {

bool isLoopbackHost(const QString &host) {
    return host == QLatin1String("127.0.0.1") || host == QLatin1String("::1") ||
           host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QString> addressRefusal(const QUrl &url) {
    const QString scheme = url.scheme().toLower();
    const bool allowed = url.isValid() && !url.host().isEmpty() &&
                         (scheme == QLatin1String("https") ||
                          (scheme == QLatin1String("http") && isLoopbackHost(url.host())));
    if (allowed)
        return std::nullopt;
    return QStringLiteral("only https addresses are allowed");
}

QString networkError(const QString &description) {
    return QStringLiteral("Network error: ") + description;
}

} // namespace quindle
