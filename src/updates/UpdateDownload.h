#pragma once

#include "updates/ProductHeaders.h"

#include <QFuture>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace quindle {

// Streams `address` into a new file at `path` (never over an existing one), with the manifest's
// address rules, aborting after `idle` without a byte. `progress` hears received / expected
// length whenever the server sent a length. The future holds nothing on success, else the
// error's description; the file stays either way, for the checksum to judge or the person to
// look at. It finishes on `network`'s thread.
QFuture<std::optional<QString>> downloadToFile(QNetworkAccessManager &network, const QUrl &address,
                                               const QString &path, const HttpHeaders &headers,
                                               std::chrono::milliseconds idle,
                                               std::function<void(double)> progress);

} // namespace quindle
