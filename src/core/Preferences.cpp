#include "core/Preferences.h"

#include <algorithm>
#include <climits>

namespace quindle {

namespace {

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

std::map<QString, QString> Preferences::configValues() const {
    std::map<QString, QString> values{
        {QStringLiteral("QUIET_MODE"), quietMode},
        {QStringLiteral("QUIET_HOURS_BLOCKED"), scheduleRange},
        {QStringLiteral("SMART_RESPECT_MEETINGS"), flag(smartRespectMeetings)},
        {QStringLiteral("NOTIFY_ON_OK_RUN"), flag(notifyOnOkRun)},
        {QStringLiteral("DISABLE_DELETE"), flag(disableDelete)},
        {QStringLiteral("OPTIMISE_CLOUD_PROVIDERS"),
         providerList(enabledCloudProviders.join(QLatin1Char(','))).join(QLatin1Char(','))},
        {QStringLiteral("INCLUDE_CLOUD_EVICT"), flag(!enabledCloudProviders.isEmpty())},
    };
    for (const IntegerSetting &setting : integerSettings())
        values[setting.key] = QString::number(this->*setting.field);
    values[QStringLiteral("MIN_AGE_HARD_FLOOR_DAYS")] = QString::number(effectiveHardFloor());
    return values;
}

int Preferences::effectiveHardFloor() const {
    return std::max(hardFloorDays, 1);
}

const std::vector<IntegerSetting> &integerSettings() {
    // The service has no upper limit for most; what the window offers stays far from the
    // sizes its arithmetic could not hold.
    static const std::vector<IntegerSetting> settings{
        {QStringLiteral("idleThresholdSecs"), &Preferences::idleThresholdSecs,
         QStringLiteral("IDLE_THRESHOLD_SECS"), 0, INT_MAX, 0, 86400},
        {QStringLiteral("smartIdleMinutes"), &Preferences::smartIdleMinutes,
         QStringLiteral("SMART_IDLE_MINUTES"), 0, INT_MAX, 0, 1440},
        {QStringLiteral("smartMinBattery"), &Preferences::smartMinBattery,
         QStringLiteral("SMART_MIN_BATTERY"), 0, 100, 0, 100},
        {QStringLiteral("minArchiveDays"), &Preferences::minArchiveDays,
         QStringLiteral("MIN_ARCHIVE_DAYS"), 0, INT_MAX, 0, 36500},
        {QStringLiteral("minDeleteDays"), &Preferences::minDeleteDays,
         QStringLiteral("MIN_DELETE_DAYS"), 0, INT_MAX, 0, 36500},
        {QStringLiteral("hardFloorDays"), &Preferences::hardFloorDays,
         QStringLiteral("MIN_AGE_HARD_FLOOR_DAYS"), 1, INT_MAX, 1, 365},
    };
    return settings;
}

const IntegerSetting &integerSetting(int Preferences::*field) {
    const std::vector<IntegerSetting> &settings = integerSettings();
    return *std::find_if(settings.cbegin(), settings.cend(),
                         [field](const IntegerSetting &s) { return s.field == field; });
}

bool readsAsTrue(const QString &value) {
    return value == QLatin1String("1") || value.toLower() == QLatin1String("true");
}

QStringList providerList(const QString &commaSeparated) {
    QStringList providers;
    for (const QString &piece : commaSeparated.split(QLatin1Char(','))) {
        const QString provider = piece.trimmed();
        if (!provider.isEmpty() && !providers.contains(provider))
            providers << provider;
    }
    providers.sort();
    return providers;
}

} // namespace quindle
