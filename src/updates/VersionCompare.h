#pragma once

#include <QString>

namespace quindle {

// Compares dotted version numbers part by part: -1 when `a` is lower, 1 when higher, 0 when
// equal. Missing parts count as 0 (1.2 equals 1.2.0), and so do parts that are not numbers.
int compareVersions(const QString &a, const QString &b);

} // namespace quindle
