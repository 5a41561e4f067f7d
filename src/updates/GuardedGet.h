#pragma once

#include "updates/ProductHeaders.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <variant>

class QNetworkAccessManager;
class QNetworkReply;

namespace quindle {

// How one GET ended, apart from its body.
struct FetchReply {
    enum class Failure {
        None,      // an HTTP answer came whole, whatever its status
        NoAddress, // the address is empty: nothing was sent
        Network,   // refused address, no connection, cut short … : `error` says which
        TimedOut,  // a limit ended it
    };

    Failure failure = Failure::None;
    int httpStatus = 0; // 0 when no status line came
    QByteArray body;    // as received, even when cut short (left empty for streamed bodies)
    QString error;      // why it failed: Qt's description, "The request timed out." …
};

// A GET of `address` with `headers` past every cache, its redirects followed only to allowed
// addresses, aborted after `idle` without a byte. The refusal when `address` is not allowed.
std::variant<QNetworkReply *, QString> guardedGet(QNetworkAccessManager &network,
                                                  const QUrl &address, const HttpHeaders &headers,
                                                  std::chrono::milliseconds idle);

// How a finished reply from guardedGet() ended; an abort counts as a timeout, since only the
// limits abort one. The body is left unread.
FetchReply outcome(const QNetworkReply &reply);

} // namespace quindle
