#pragma once

#include "core/DriveReport.h"

namespace quindle::test {

// The drive the service reports, as the test sets it.
struct FixedDriveReport : DriveReport {
    std::optional<QString> path;
    std::optional<QString> reportedDrivePath() const override { return path; }
};

} // namespace quindle::test
