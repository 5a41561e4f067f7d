#include "app/CommandLine.h"

#include "core/PathText.h"
#include "core/PreferencesModel.h"
#include "core/RuleFloor.h"

#include <QFileInfo>
#include <QTextStream>

#include <functional>
#include <vector>

namespace quindle {

namespace {

struct Field {
    QString name;
    std::function<QString(const Preferences &)> show;
    // Applies the text, or says why it cannot.
    std::function<std::optional<QString>(Preferences &, const QString &)> apply;
};

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

Field flag(const QString &name, bool Preferences::*field) {
    return {name, [field](const Preferences &p) { return onOff(p.*field); },
            [name, field](Preferences &p, const QString &text) -> std::optional<QString> {
                const QString word = text.toLower();
                if (QStringList{"on", "true", "yes", "1"}.contains(word))
                    p.*field = true;
                else if (QStringList{"off", "false", "no", "0"}.contains(word))
                    p.*field = false;
                else
                    return QStringLiteral("%1 is on or off, not “%2”.").arg(name, text);
                return std::nullopt;
            }};
}

Field number(const IntegerSetting &setting) {
    return {setting.name,
            [field = setting.field](const Preferences &p) { return QString::number(p.*field); },
            [setting](Preferences &p, const QString &text) -> std::optional<QString> {
                bool ok = false;
                const int value = text.toInt(&ok);
                if (!ok || value < setting.entryMinimum || value > setting.entryMaximum)
                    return QStringLiteral("%1 takes a whole number from %2 to %3, not “%4”.")
                        .arg(setting.name)
                        .arg(setting.entryMinimum)
                        .arg(setting.entryMaximum)
                        .arg(text);
                p.*setting.field = value;
                return std::nullopt;
            }};
}

const std::vector<Field> &fields() {
    static const std::vector<Field> table = [] {
        std::vector<Field> all{
            {QStringLiteral("quietMode"), [](const Preferences &p) { return p.quietMode; },
             [](Preferences &p, const QString &text) -> std::optional<QString> {
                 const QStringList modes{quietModes::schedule, quietModes::smart,
                                         quietModes::alwaysOn};
                 if (!modes.contains(text))
                     return QStringLiteral("quietMode is schedule, smart or always-on, not “%1”.")
                         .arg(text);
                 p.quietMode = text;
                 return std::nullopt;
             }},
            {QStringLiteral("scheduleRange"), [](const Preferences &p) { return p.scheduleRange; },
             [](Preferences &p, const QString &text) -> std::optional<QString> {
                 p.scheduleRange = text;
                 return std::nullopt;
             }},
        };
        for (const IntegerSetting &setting : integerSettings())
            all.push_back(number(setting));
        all.push_back(
            flag(QStringLiteral("smartRespectMeetings"), &Preferences::smartRespectMeetings));
        all.push_back(flag(QStringLiteral("disableDelete"), &Preferences::disableDelete));
        all.push_back(flag(QStringLiteral("notifyOnOkRun"), &Preferences::notifyOnOkRun));
        all.push_back({QStringLiteral("enabledCloudProviders"),
                       [](const Preferences &p) {
                           return p.enabledCloudProviders.isEmpty()
                                      ? QStringLiteral("(none)")
                                      : p.enabledCloudProviders.join(QLatin1Char(','));
                       },
                       [](Preferences &p, const QString &text) -> std::optional<QString> {
                           p.enabledCloudProviders = providerList(text);
                           return std::nullopt;
                       }});
        return all;
    }();
    return table;
}

int settingsUsage() {
    QTextStream(stderr) << "Usage: quindle settings\n"
                           "       quindle settings set FIELD VALUE [--confirm]\n";
    return 2;
}

int listSettings() {
    QTextStream out(stdout);
    PreferencesModel model;
    model.load();
    if (QFileInfo::exists(model.config().path()))
        out << "Settings in " << tildePath(model.config().path()) << ":\n";
    else
        out << "There is no " << tildePath(model.config().path())
            << " yet, so the service would use these defaults:\n";
    for (const Field &field : fields())
        out << "  " << field.name.leftJustified(23) << field.show(model.values()) << '\n';
    out << ruleFloor::statement(model.values().hardFloorDays) << '\n';
    return 0;
}

} // namespace

// quindle settings [set FIELD VALUE [--confirm]]: the Settings window's values, one changed at
// a time. Lowering the hard floor below its default asks for --confirm, as the window asks.
int runSettings(const QStringList &arguments) {
    if (arguments.isEmpty())
        return listSettings();
    QStringList words = arguments;
    const bool confirmed = words.removeAll(QStringLiteral("--confirm")) > 0;
    if (words.size() != 3 || words.first() != QLatin1String("set"))
        return settingsUsage();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString &fieldName = words.at(1);
    const QString &text = words.at(2);
    const auto field = std::find_if(fields().cbegin(), fields().cend(),
                                    [&](const Field &f) { return f.name == fieldName; });
    if (field == fields().cend()) {
        QStringList names;
        for (const Field &f : fields())
            names << f.name;
        err << "“" << fieldName << "” is not a setting. The settings are "
            << names.join(QStringLiteral(", ")) << ".\n";
        return 1;
    }
    PreferencesModel model;
    model.load();
    Preferences next = model.values();
    if (const std::optional<QString> refusal = field->apply(next, text)) {
        err << *refusal << '\n';
        return 1;
    }
    if (next.hardFloorDays != model.values().hardFloorDays) {
        if (const std::optional<int> lower = model.enterHardFloor(next.hardFloorDays);
            lower && !confirmed) {
            err << ruleFloor::lowerDetails(*lower) << "\n\nTo lower it, run the command again "
                << "with --confirm.\n";
            return 1;
        }
    }
    model.change([&next](Preferences &p) { p = next; });
    if (!model.save()) {
        err << model.lastApplyError().value_or(QString()) << '\n';
        return 1;
    }
    out << fieldName << " is now " << field->show(model.values()) << ". "
        << PreferencesModel::savedText() << ".\n";
    if (field->name == QLatin1String("hardFloorDays"))
        out << ruleFloor::statement(model.values().hardFloorDays) << '\n';
    return 0;
}

} // namespace quindle
