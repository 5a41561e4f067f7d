#pragma once

#include <QByteArray>
#include <QList>

#include <utility>

namespace quindle {

using HttpHeaders = QList<std::pair<QByteArray, QByteArray>>;

enum class Fingerprint { Include, Omit };

// The headers of every request to the web service: User-Agent "Quindle/<version> (Linux)" and
// X-QD-Version, plus X-QD-Fingerprint (this computer's identifier for Quindle, never its machine
// ID) when asked for and the computer has one.
HttpHeaders productHeaders(Fingerprint fingerprint);

} // namespace quindle
