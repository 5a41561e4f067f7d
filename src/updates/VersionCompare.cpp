#include "updates/VersionCompare.h"

#include <QStringList>

#include <algorithm>

namespace quindle {

int compareVersions(const QString &a, const QString &b) {
    const QStringList left = a.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    const QStringList right = b.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        // toLongLong gives 0 for what is not a decimal number.
        const qlonglong l = left.value(i).toLongLong();
        const qlonglong r = right.value(i).toLongLong();
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

} // namespace quindle
