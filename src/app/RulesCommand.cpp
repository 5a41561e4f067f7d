#include "app/CommandLine.h"

#include "app/CommandOutput.h"
#include "core/PathText.h"
#include "core/PreferencesModel.h"
#include "core/RuleActions.h"
#include "core/RuleChecks.h"
#include "core/RuleFloor.h"
#include "core/RulesArray.h"
#include "core/VolumeSpace.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace quindle {

namespace {

int rulesUsage() {
    QTextStream(stderr)
        << "Usage: quindle rules\n"
           "       quindle rules add ACTION SOURCE DESTINATION AGE [EXTRAS]\n"
           "       quindle rules remove NUMBER\n"
           "       quindle rules set-age NUMBER DAYS\n"
           "       quindle rules raise-to-floor\n"
           "ACTION is archive_old, archive_big, delete_old or app_cache_clean; an empty\n"
           "DESTINATION (\"\") is the Archive folder on the NVMe; EXTRAS is archive_big's size.\n";
    return 2;
}

QString agesOf(const RuleRecord &rule, const Preferences &preferences) {
    const std::optional<qint64> effective = ruleFloor::effectiveAgeDays(rule, preferences);
    if (!effective)
        return QStringLiteral("The service does not know this action and skips the rule.");
    QString text = QStringLiteral("Age %1 days; runs at %2 days").arg(rule.ageDays).arg(*effective);
    if (*effective > rule.ageDays)
        text += QStringLiteral(" (floor)");
    if (rule.action == ruleActions::archiveBig) {
        const std::optional<qint64> size = ruleActions::sizeBytes(rule.extras);
        text += size ? QStringLiteral("; only files larger than ") + sizeText(*size)
                     : QStringLiteral("; “%1” is not a size").arg(rule.extras);
    }
    return text + QLatin1Char('.');
}

int listRules(const RulesArray &rules, const Preferences &preferences) {
    QTextStream out(stdout);
    if (rules.lastError())
        return failed(*rules.lastError() + QLatin1Char('.'));
    if (rules.rows().isEmpty()) {
        out << "No rules are configured. Add one with: quindle rules add ACTION SOURCE "
               "DESTINATION AGE\n";
        return 0;
    }
    int number = 0;
    for (const RuleRow &row : rules.rows()) {
        out << ++number << ". " << row.actionLabel() << " (" << row.record.action
            << "): " << ruleActions::placesText(row.record) << '\n'
            << "   " << agesOf(row.record, preferences) << '\n';
    }
    const int floor = preferences.effectiveHardFloor();
    if (const int below = rules.countBelowFloor(floor))
        out << (below == 1 ? QStringLiteral("1 rule is")
                           : QStringLiteral("%1 rules are").arg(below))
            << " below the " << floor << "-day hard floor; quindle rules raise-to-floor raises "
            << (below == 1 ? "it" : "them") << ".\n";
    return 0;
}

std::optional<int> wholeNumber(const QString &text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? std::optional(value) : std::nullopt;
}

// The rule numbered `text` (from 1).
std::optional<QUuid> ruleNumbered(const RulesArray &rules, const QString &text) {
    const std::optional<int> number = wholeNumber(text);
    if (!number || *number < 1 || *number > rules.rows().size())
        return std::nullopt;
    return rules.rows().at(*number - 1).id;
}

QString noSuchRule(const RulesArray &rules, const QString &text) {
    const qsizetype count = rules.rows().size();
    if (count == 0)
        return QStringLiteral("There is no rule “%1”: no rules are configured.").arg(text);
    return QStringLiteral("There is no rule “%1”; the rules are numbered 1 to %2.")
        .arg(text)
        .arg(count);
}

QString absolute(const QString &path) {
    return path.isEmpty() ? path
                          : QDir::cleanPath(QDir::current().absoluteFilePath(homeExpanded(path)));
}

} // namespace

// quindle rules [add … | remove N | set-age N DAYS | raise-to-floor]: the Rules pane's list and
// edits, with the same checks.
int runRules(const QStringList &arguments) {
    QTextStream out(stdout);
    if (const ConfigFile config; !QFileInfo::exists(config.path()))
        return failed(QStringLiteral("There is no configuration file at %1 yet; quindle service "
                                     "install writes it.")
                          .arg(tildePath(config.path())));
    PreferencesModel preferences;
    preferences.load();
    RulesArray rules;
    rules.load();
    const QString verb = arguments.value(0);
    const qsizetype count = arguments.size();
    if (arguments.isEmpty())
        return listRules(rules, preferences.values());
    if (rules.lastError())
        return failed(*rules.lastError() + QLatin1Char('.'));

    std::optional<QString> refusal;
    if (verb == QLatin1String("add") && (count == 5 || count == 6)) {
        const QString &action = arguments.at(1);
        if (!ruleActions::isKnown(action))
            return failed(QStringLiteral("“%1” is not an action. The actions are archive_old, "
                                         "archive_big, delete_old and app_cache_clean.")
                              .arg(action));
        const std::optional<int> age = wholeNumber(arguments.at(4));
        if (!age)
            return failed(QStringLiteral("“%1” is not a number of days.").arg(arguments.at(4)));
        refusal = rules.add({action, absolute(arguments.at(2)), absolute(arguments.at(3)), *age,
                             arguments.value(5)});
        if (!refusal)
            out << "Added rule " << rules.rows().size() << ": "
                << ruleActions::placesText(rules.rows().constLast().record) << ".\n";
    } else if (verb == QLatin1String("remove") && count == 2) {
        const std::optional<QUuid> id = ruleNumbered(rules, arguments.at(1));
        if (!id)
            return failed(noSuchRule(rules, arguments.at(1)));
        refusal = rules.remove(*id);
        if (!refusal)
            out << "Removed rule " << arguments.at(1) << ".\n";
    } else if (verb == QLatin1String("set-age") && count == 3) {
        const std::optional<QUuid> id = ruleNumbered(rules, arguments.at(1));
        if (!id)
            return failed(noSuchRule(rules, arguments.at(1)));
        const std::optional<int> days = wholeNumber(arguments.at(2));
        if (!days)
            return failed(QStringLiteral("“%1” is not a number of days.").arg(arguments.at(2)));
        refusal = rules.updateAge(*id, *days);
        if (!refusal)
            out << "Rule " << arguments.at(1) << " now waits " << *days << " days.\n";
    } else if (verb == QLatin1String("raise-to-floor") && count == 1) {
        const int floor = preferences.values().effectiveHardFloor();
        const int below = rules.countBelowFloor(floor);
        if (below == 0) {
            out << "No rule is below the " << floor << "-day hard floor.\n";
            return 0;
        }
        refusal = rules.raiseAllBelowFloor(floor);
        if (!refusal)
            out << "Raised " << below << (below == 1 ? " rule" : " rules") << " to the " << floor
                << "-day hard floor.\n";
    } else {
        return rulesUsage();
    }
    return refusal ? failed(*refusal) : 0;
}

} // namespace quindle
