#pragma once

#include "updates/GuardedGet.h"

#include <QFuture>
#include <QString>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

namespace quindle {

// How long one request may take. Qt's transfer timeout only measures silence, which a server
// sending a byte a second never breaks, hence the separate deadline.
struct FetchLimits {
    std::chrono::milliseconds idle;  // the longest wait for the next byte
    std::chrono::milliseconds total; // from the start to the last byte
};

// One GET of a manifest address with `headers`, past every cache, redirects followed only to
// allowed addresses. The future finishes on `network`'s thread, within `limits.total`; it is
// cancelled when `network` goes away first.
QFuture<FetchReply> fetchManifest(QNetworkAccessManager &network, const QUrl &address,
                                  const HttpHeaders &headers, const FetchLimits &limits);

} // namespace quindle
