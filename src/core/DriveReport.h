#pragma once

#include <QString>

#include <optional>

namespace quindle {

// The drive as the service last reported it, for models that need nothing else of its status.
class DriveReport {
public:
    virtual ~DriveReport() = default;
    // The drive's path in the last status; nothing before there is one or when it names none.
    virtual std::optional<QString> reportedDrivePath() const = 0;
};

} // namespace quindle
