#pragma once

#include "core/Preferences.h"
#include "core/RulesBlock.h"

#include <QString>

#include <optional>

// How the floors hold rules back, and the words the Rules pane and the command use for it.
namespace quindle::ruleFloor {

// The age the service acts at: the largest of the rule's own, MIN_ARCHIVE_DAYS for a move or
// MIN_DELETE_DAYS for a delete, the hard floor and one day. Nothing for an action the service
// refuses.
std::optional<qint64> effectiveAgeDays(const RuleRecord &rule, const Preferences &preferences);

// The rule's stored age is below `floor`. Cache cleaning, shown without an age, and actions the
// service refuses never are.
bool isBelow(const RuleRecord &rule, int floor);

// "The hard floor (7 days) overrides this rule's 3 days."
QString overrides(int floor, qint64 ageDays);
QString willRunAs(qint64 days);         // "Will run as 7d (floor)"
QString raiseOne(int floor);            // "Raise to 7d"
QString raiseAll(int count, int floor); // "Raise 2 to 7d floor"
QString raiseAllHint(int floor);

// What the hard floor promises, or the warning once it is below the default.
QString statement(int hardFloor);

// The question before the hard floor goes below the default.
QString lowerQuestion();
QString lowerDetails(int days);
QString lowerConfirm(int days); // "Lower to 3 days"
QString keepDefault();          // "Keep at 7 days"

} // namespace quindle::ruleFloor
