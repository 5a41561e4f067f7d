#include "platform/DesktopOpen.h"

#include "platform/ChildProcess.h"

namespace quindle::platform {

std::optional<QString> openUrl(const QUrl &url) {
    // Detached: the browser or viewer it starts lives on after Quindle quits.
    return startDetached(
        ChildCommand(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)}));
}

} // namespace quindle::platform
