#pragma once

#include "transfers/Schedule.h"
#include "transfers/TransferJob.h"

#include <QString>

#include <functional>
#include <optional>
#include <variant>

namespace quindle {

// What the New Transfer form (and `quindle transfer add`) collects, with the form's defaults.
struct TransferForm {
    JobMode mode = JobMode::Copy;
    QString source;
    QString destination;
    QString bandwidthLimit;
    int transfers = 8;
    bool dryRun = false;
    bool bisyncResync = false;
    Schedule schedule;

    // The job to enqueue, or the sentence that refuses it. Texts are trimmed and a leading "~" is
    // the home folder; the resync switch counts only for a two-way sync. `remoteExists` answers
    // whether rclone knows a remote name.
    std::variant<SyncJob, QString>
    makeJob(const std::function<bool(const QString &)> &remoteExists) const;
};

// "daily:HH:MM", "hourly:N", "weekly:D:HH:MM" (1 = Sunday) or "monthly:D:HH:MM"; nothing when the
// text is none of these.
std::optional<Schedule> parseScheduleSpec(const QString &text);

// The form's help texts.
namespace formHelp {
QString manualOnly();
QString bandwidthExamples();
QString bandwidthUnits();
QString parallelTransfers();
QString resync();
} // namespace formHelp

} // namespace quindle
