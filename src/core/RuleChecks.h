#pragma once

#include "core/ConfigFile.h"
#include "core/RulesBlock.h"

#include <QString>

#include <optional>

namespace quindle {

// The places a rule's folders are measured against, each resolved through its links as the
// service resolves them.
struct RulePlaces {
    QString home;
    QString serviceFolder; // ~/.quindle
    QString trash;
    QString drive; // the NVMe the configuration names

    static RulePlaces current(const ConfigFile &config);
};

// The longest age a rule may have: the service counts ages in seconds, and beyond a century a
// rule means nothing anyway.
inline constexpr qint64 maximumRuleAgeDays = 36500;

// Why the service would not act on a rule the way it reads: a sentence naming the rule by its
// `number` (from 1), or nothing. Moves and deletes need an existing folder strictly inside the
// home folder, away from the service's folder, the trash and the drive; a move's destination is
// empty (the service's default) or on the drive; a large-file move's extras are a size. Rules
// of other actions are the person's own and pass as they are.
std::optional<QString> ruleRefusal(const RuleRecord &rule, qsizetype number,
                                   const RulePlaces &places);

} // namespace quindle
