#include "platform/DesktopOpen.h"

#include "platform/ChildProcess.h"

namespace quindle::platform {

std::optional<QString> openUrl(const QUrl &url) {
    // Detached: the browser or viewer it starts lives on after Quindle quits.
    return startDetached(
        ChildCommand(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)}));
}

bool isWebAddress(const QUrl &url) {
    // QUrl keeps schemes in lower case.
    return url.isValid() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace quindle::platform
