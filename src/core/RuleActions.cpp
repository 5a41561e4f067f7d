#include "core/RuleActions.h"

#include "core/PathText.h"
#include "platform/HomeDirectory.h"

#include <QRegularExpression>

#include <limits>

namespace quindle::ruleActions {

const QStringList &known() {
    static const QStringList actions{archiveOld, archiveBig, deleteOld, appCacheClean};
    return actions;
}

bool isKnown(const QString &action) {
    return known().contains(action);
}

bool isMove(const QString &action) {
    return action == archiveOld || action == archiveBig;
}

bool actsOnSource(const QString &action) {
    return isMove(action) || action == deleteOld;
}

QString label(const QString &action) {
    if (action == archiveOld)
        return QStringLiteral("Move (by age)");
    if (action == archiveBig)
        return QStringLiteral("Move (large files)");
    if (action == deleteOld)
        return QStringLiteral("Delete");
    if (action == appCacheClean)
        return QStringLiteral("Clean app caches");
    return action;
}

QString placesText(const RuleRecord &rule) {
    const QString home = platform::homePath();
    const auto shown = [&home](const QString &path) {
        return tildePath(RulesBlock::expandHome(path, home), home);
    };
    if (rule.action == appCacheClean)
        return QStringLiteral("All configured apps");
    if (rule.action == deleteOld)
        return shown(rule.source) + QStringLiteral(" → the trash");
    if (isMove(rule.action) && rule.destination.isEmpty())
        return shown(rule.source) + QStringLiteral(" → the Archive folder on the NVMe");
    return shown(rule.source) + QStringLiteral(" → ") + shown(rule.destination);
}

std::optional<qint64> sizeBytes(const QString &extras) {
    static const QRegularExpression size(
        QStringLiteral(R"(^([0-9]{1,12})\s*(?:([kKmMgGtT])[bB]?)?$)"));
    const QString text = extras.trimmed();
    if (text.isEmpty())
        return 500'000'000;
    const QRegularExpressionMatch match = size.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString unit = match.captured(2).toLower();
    qint64 scale = 1'000'000;
    if (unit == QLatin1String("k"))
        scale = 1'000;
    else if (unit == QLatin1String("g"))
        scale = 1'000'000'000;
    else if (unit == QLatin1String("t"))
        scale = 1'000'000'000'000;
    const qint64 number = match.captured(1).toLongLong();
    // The service's arithmetic wraps beyond this.
    if (number > std::numeric_limits<qint64>::max() / scale)
        return std::nullopt;
    return number * scale;
}

} // namespace quindle::ruleActions
