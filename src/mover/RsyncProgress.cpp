#include "mover/RsyncProgress.h"

#include <QRegularExpression>

#include <algorithm>

namespace quindle {

std::optional<double> parseRsyncProgress(const QString &line) {
    // Bytes so far (with thousands separators), then the percentage column.
    static const QRegularExpression progress(QStringLiteral(R"(^\s*\d[\d,]*\s+(\d+)%(\s|$))"));
    const QRegularExpressionMatch match = progress.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 percent = match.captured(1).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return std::min(static_cast<double>(percent) / 100.0, 1.0);
}

} // namespace quindle
