#pragma once

#include <QString>

#include <optional>

namespace quindle {

// The copied fraction (0…1) of an `rsync --info=progress2` line such as
// "  1,234,567  45%  1.20MB/s  0:00:01 (xfr#3, to-chk=7/12)"; nothing for any other line (file
// names, summaries), even one that happens to contain a percent sign.
std::optional<double> parseRsyncProgress(const QString &line);

} // namespace quindle
