#include "core/VolumeSpace.h"

#include <QStorageInfo>

#include <cmath>

namespace quindle {

std::optional<VolumeSpace> VolumeSpace::of(const QString &path) {
    // bytesAvailable is statvfs's f_bavail × f_frsize: what an unprivileged writer can use.
    const QStorageInfo storage(path);
    if (!storage.isValid() || !storage.isReady() || storage.bytesAvailable() < 0 ||
        storage.bytesTotal() <= 0)
        return std::nullopt;
    return VolumeSpace{storage.bytesAvailable(), storage.bytesTotal()};
}

QString sizeText(qint64 bytes) {
    const double value = static_cast<double>(std::max<qint64>(0, bytes));
    if (value < 999.5e6) // what rounds to below 1000 MB
        return QStringLiteral("%1 MB").arg(std::llround(value / 1e6));
    const double gigabytes = value / bytesPerGB;
    // A decimal where a whole number would hide a large share of the figure.
    if (gigabytes < 9.95)
        return QString::number(gigabytes, 'f', 1) + QStringLiteral(" GB");
    return QStringLiteral("%1 GB").arg(std::llround(gigabytes));
}

QString shareText(qint64 partBytes, qint64 wholeBytes) {
    QString part = sizeText(partBytes);
    const QString whole = sizeText(wholeBytes);
    const qsizetype unit = whole.lastIndexOf(QLatin1Char(' '));
    if (part.endsWith(whole.mid(unit)))
        part.chop(whole.size() - unit);
    return part + QStringLiteral(" / ") + whole;
}

} // namespace quindle
