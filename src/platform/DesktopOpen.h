#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace quindle::platform {

// Hands a web address or a file to the desktop's default application (xdg-open); the reason
// when that could not be started.
std::optional<QString> openUrl(const QUrl &url);

// An http or https address: the only kind a document or a manifest may make Quindle open.
bool isWebAddress(const QUrl &url);

} // namespace quindle::platform
