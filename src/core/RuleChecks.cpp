#include "core/RuleChecks.h"

#include "core/NVMeMount.h"
#include "core/PathText.h"
#include "core/ResolvedPath.h"
#include "core/RuleActions.h"
#include "core/StatePaths.h"
#include "platform/HomeDirectory.h"

#include <QDir>
#include <QFileInfo>

namespace quindle {

namespace {

bool isInside(const QString &path, const QString &folder) {
    return path.startsWith(folder + QLatin1Char('/')) && path != folder;
}

} // namespace

RulePlaces RulePlaces::current(const ConfigFile &config) {
    return {resolvedPath(platform::homePath()), resolvedPath(paths::quindleDirectory()),
            resolvedPath(platform::userTrashPath()), resolvedPath(serviceDrivePath(config))};
}

std::optional<QString> ruleRefusal(const RuleRecord &rule, qsizetype number,
                                   const RulePlaces &places) {
    if (!ruleActions::isKnown(rule.action))
        return std::nullopt;
    const auto refuse = [&](const QString &problem) {
        return std::optional<QString>(QStringLiteral("Rule %1 (%2) was not saved: %3.")
                                          .arg(number)
                                          .arg(rule.action, problem));
    };
    if (rule.ageDays > maximumRuleAgeDays)
        return refuse(QStringLiteral("its age of %1 days is more than the %2 days a rule may "
                                     "wait")
                          .arg(rule.ageDays)
                          .arg(maximumRuleAgeDays));
    if (rule.action == ruleActions::archiveBig && !ruleActions::sizeBytes(rule.extras))
        return refuse(QStringLiteral("“%1” is not a size (a whole number with an optional K, M, "
                                     "G or T; bare numbers are MB)")
                          .arg(rule.extras));
    if (!ruleActions::actsOnSource(rule.action))
        return std::nullopt;

    const QString source = resolvedPath(rule.source);
    const QString shown = tildePath(rule.source);
    if (!QDir::isAbsolutePath(rule.source) || !isInside(source, places.home))
        return refuse(
            QStringLiteral("its source “%1” is not a folder inside your home folder").arg(shown));
    for (const QString &place : {places.serviceFolder, places.trash, places.drive}) {
        if (source == place || isInside(source, place))
            return refuse(QStringLiteral("its source %1 lies in %2, which rules never touch")
                              .arg(shown, tildePath(place)));
    }
    if (isInside(places.drive, source))
        return refuse(QStringLiteral("its source %1 holds the NVMe at %2")
                          .arg(shown, tildePath(places.drive)));
    const QFileInfo folder(source);
    if (!folder.exists())
        return refuse(QStringLiteral("its source %1 does not exist").arg(shown));
    if (!folder.isDir())
        return refuse(QStringLiteral("its source %1 is not a folder").arg(shown));

    if (ruleActions::isMove(rule.action) && !rule.destination.isEmpty()) {
        // The service expands $HOME in a destination, which the reader leaves as written.
        const QString written = RulesBlock::expandHome(rule.destination, platform::homePath());
        const QString destination = resolvedPath(written);
        if (!QDir::isAbsolutePath(written) ||
            (destination != places.drive && !isInside(destination, places.drive)))
            return refuse(QStringLiteral("its destination “%1” is not on the NVMe at %2 once "
                                         "links are resolved")
                              .arg(tildePath(rule.destination), tildePath(places.drive)));
    }
    return std::nullopt;
}

} // namespace quindle
