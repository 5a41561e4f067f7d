#pragma once

#include <QString>

namespace quindle {

// A refusal of what was asked (bad arguments, an unknown name): the sentence on standard error,
// exit status 2.
int refused(const QString &sentence);
// A failure of what was tried: the message on standard error, exit status 1.
int failed(const QString &message);
// A secret piped on standard input; the line feed that ends it is not part of it.
QString pipedSecret();

} // namespace quindle
