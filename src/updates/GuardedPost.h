#pragma once

#include "updates/GuardedGet.h"
#include "updates/ProductHeaders.h"

#include <QFuture>
#include <QString>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

namespace quindle {

// `path` under the web service's `base`, with one slash between however either is written.
// Empty when no base is configured.
QUrl serviceEndpoint(const QUrl &base, const QString &path);

// A POST of the JSON text `json` to `address` with `headers`, past every cache and without
// following redirects, ended after `deadline` in all: Qt's own transfer timeout only counts idle
// time, so a server that trickles a byte now and then would hold it forever. An address that is not
// allowed fails at once without a connection. Deleting `network` ends what is under way, its
// future cancelled.
QFuture<FetchReply> guardedPost(QNetworkAccessManager &network, const QUrl &address,
                                const QByteArray &json, const HttpHeaders &headers,
                                std::chrono::milliseconds deadline);

} // namespace quindle
