#include "core/RuleFloor.h"

#include "core/RuleActions.h"

#include <algorithm>

namespace quindle::ruleFloor {

namespace {

QString days(qint64 count) {
    return QString::number(count) + (count == 1 ? QStringLiteral(" day") : QStringLiteral(" days"));
}

} // namespace

std::optional<qint64> effectiveAgeDays(const RuleRecord &rule, const Preferences &preferences) {
    if (!ruleActions::isKnown(rule.action))
        return std::nullopt;
    qint64 kindFloor = 0;
    if (ruleActions::isMove(rule.action))
        kindFloor = preferences.minArchiveDays;
    else if (rule.action == ruleActions::deleteOld)
        kindFloor = preferences.minDeleteDays;
    return std::max({rule.ageDays, kindFloor, qint64(preferences.effectiveHardFloor())});
}

bool isBelow(const RuleRecord &rule, int floor) {
    return ruleActions::actsOnSource(rule.action) && rule.ageDays < floor;
}

QString overrides(int floor, qint64 ageDays) {
    return QStringLiteral("The hard floor (%1) overrides this rule's %2.")
        .arg(days(floor), days(ageDays));
}

QString willRunAs(qint64 days) {
    return QStringLiteral("Will run as %1d (floor)").arg(days);
}

QString raiseOne(int floor) {
    return QStringLiteral("Raise to %1d").arg(floor);
}

QString raiseAll(int count, int floor) {
    return QStringLiteral("Raise %1 to %2d floor").arg(count).arg(floor);
}

QString raiseAllHint(int floor) {
    return QStringLiteral("Update every rule whose stored age is below the current floor (%1 days) "
                          "to match the floor. Alternative: lower the floor itself in Global "
                          "overrides below.")
        .arg(floor);
}

QString statement(int hardFloor) {
    if (hardFloor >= defaultHardFloorDays)
        return QStringLiteral("Files modified within the last %1 days will never be moved or "
                              "deleted, regardless of per-rule settings.")
            .arg(hardFloor);
    return QStringLiteral("Lowered below the 7-day default. Quindle may move files you edited "
                          "within the last week.");
}

QString lowerQuestion() {
    return QStringLiteral("Lower the hard floor?");
}

QString lowerDetails(int count) {
    return QStringLiteral("Quindle's default 7-day hard floor exists to protect files you may have "
                          "edited recently. Lowering it to %1 lets the daemon move or delete files "
                          "modified within the last %1, based on your per-rule ages.\n\nOnly lower "
                          "this if you understand the risk and have independent backups.")
        .arg(days(count));
}

QString lowerConfirm(int days) {
    return QStringLiteral("Lower to %1 days").arg(days);
}

QString keepDefault() {
    return QStringLiteral("Keep at %1 days").arg(defaultHardFloorDays);
}

} // namespace quindle::ruleFloor
