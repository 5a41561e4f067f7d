#pragma once

#include <QString>

#include <algorithm>
#include <optional>

namespace quindle {

// The decimal gigabyte of every size shown and of the service's whole-GB figures.
inline constexpr qint64 bytesPerGB = 1'000'000'000;

// A filesystem's room, in bytes.
struct VolumeSpace {
    qint64 freeBytes = 0;
    qint64 totalBytes = 0;
    qint64 usedBytes() const { return std::max<qint64>(0, totalBytes - freeBytes); }
    bool operator==(const VolumeSpace &) const = default;

    // The filesystem that holds `path`, as an unprivileged writer sees it; nothing when it cannot
    // be read.
    static std::optional<VolumeSpace> of(const QString &path);
};

// A size as people read it, in decimal units: "271 MB" below 1 GB, "3.4 GB" below 10 GB,
// "612 GB" from there.
QString sizeText(qint64 bytes);
// "420 / 500 GB", the unit said once when both share it; "271 MB / 1.5 GB" otherwise.
QString shareText(qint64 partBytes, qint64 wholeBytes);

} // namespace quindle
