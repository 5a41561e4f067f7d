#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace quindle::platform {

// Hands a web address or a file to the desktop's default application (xdg-open); the reason
// when that could not be started.
std::optional<QString> openUrl(const QUrl &url);

} // namespace quindle::platform
