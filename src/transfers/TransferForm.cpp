#include "transfers/TransferForm.h"

#include "core/PathText.h"
#include "transfers/Endpoint.h"

#include <QRegularExpression>

namespace quindle {

std::variant<SyncJob, QString>
TransferForm::makeJob(const std::function<bool(const QString &)> &remoteExists) const {
    // People type "~/Photos" as they would in a terminal.
    const QString from = homeExpanded(source.trimmed());
    const QString to = homeExpanded(destination.trimmed());
    for (const QString &endpoint : {from, to})
        if (const std::optional<QString> problem = endpointProblem(endpoint, remoteExists))
            return *problem;
    if (transfers < 1)
        return QStringLiteral("Use at least one parallel transfer.");
    SyncJob job(mode, from, to);
    if (const QString limit = bandwidthLimit.trimmed(); !limit.isEmpty())
        job.bandwidthLimit = limit;
    job.transfers = transfers;
    job.dryRun = dryRun;
    job.bisyncResync = mode == JobMode::Bisync && bisyncResync;
    job.schedule = schedule;
    return job;
}

std::optional<Schedule> parseScheduleSpec(const QString &text) {
    static const QRegularExpression shape(
        QStringLiteral(R"(^(hourly|daily|weekly|monthly)((?::\d{1,2})+)$)"));
    const QRegularExpressionMatch match = shape.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    QList<int> numbers;
    for (const QString &part : match.captured(2).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        numbers << part.toInt();
    const QString kind = match.captured(1);
    const auto validTime = [](int hour, int minute) {
        return hour >= 0 && hour < 24 && minute >= 0 && minute < 60;
    };
    if (kind == QLatin1String("hourly") && numbers.size() == 1 && numbers[0] >= 1)
        return Schedule::hourly(numbers[0]);
    if (kind == QLatin1String("daily") && numbers.size() == 2 && validTime(numbers[0], numbers[1]))
        return Schedule::daily(numbers[0], numbers[1]);
    if (numbers.size() != 3 || !validTime(numbers[1], numbers[2]))
        return std::nullopt;
    if (kind == QLatin1String("weekly") && numbers[0] >= 1 && numbers[0] <= 7)
        return Schedule::weekly(numbers[0], numbers[1], numbers[2]);
    if (kind == QLatin1String("monthly") && numbers[0] >= 1 && numbers[0] <= 31)
        return Schedule::monthly(numbers[0], numbers[1], numbers[2]);
    return std::nullopt;
}

namespace formHelp {

QString manualOnly() {
    return QStringLiteral("This transfer will only run when you trigger it manually.");
}

QString bandwidthExamples() {
    return QStringLiteral("10M  (= 10 MB/s),  100k  (= 100 KB/s),  empty = unlimited");
}

QString bandwidthUnits() {
    return QStringLiteral(
        "Suffixes are MB/s (megabytes-per-second, capital M) or KB/s (lowercase k). For example, "
        "`10M` throttles to 10 MB/s — about 80 megabits/sec. Empty = no limit.");
}

QString parallelTransfers() {
    return QStringLiteral("rclone defaults to 4 parallel transfers; 8 is a good balance for fast "
                          "drives. Drop to 1 if you want to be gentle on a slow connection.");
}

QString resync() {
    return QStringLiteral(
        "Required for the very first bisync run to establish a baseline. **Never check this on "
        "subsequent runs for the same source/destination** — it would silently overwrite one "
        "side with the other.");
}

} // namespace formHelp

} // namespace quindle
