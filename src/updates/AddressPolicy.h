#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace quindle {

// Whether Quindle may send a request to `url`: https anywhere, plain http only to this computer
// (127.0.0.1, ::1, localhost). Every request to the web service asks this first; the scheme is
// what counts, since Qt answers a file: address with status 200. Nothing when allowed, else the
// reason, a description for networkError().
std::optional<QString> addressRefusal(const QUrl &url);

// The message of a request that failed below HTTP: "Network error: " + the description.
QString networkError(const QString &description);

} // namespace quindle
