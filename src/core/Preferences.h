#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace quindle {

namespace quietModes {
inline const QString schedule = QStringLiteral("schedule");
inline const QString smart = QStringLiteral("smart");
inline const QString alwaysOn = QStringLiteral("always-on");
} // namespace quietModes

// The service settings people change in the Settings window, as plain values.
struct Preferences {
    QString quietMode = quietModes::schedule;
    // Kept as typed: the service passes over the ranges it cannot read.
    QString scheduleRange = QStringLiteral("9-19");
    int idleThresholdSecs = 600;
    int smartIdleMinutes = 5;
    int smartMinBattery = 30;
    bool smartRespectMeetings = true;
    bool disableDelete = false;
    int minArchiveDays = 0;
    int minDeleteDays = 0;
    int hardFloorDays = 7;
    QStringList enabledCloudProviders; // sorted, each once
    bool notifyOnOkRun = false;

    bool operator==(const Preferences &) const = default;

    // Every key the Settings window owns with the value it writes: the hard floor at least 1,
    // the providers joined with ",", INCLUDE_CLOUD_EVICT 1 exactly when one is enabled.
    std::map<QString, QString> configValues() const;

    // The floor that holds every rule back: the hard floor, at least one day.
    int effectiveHardFloor() const;
};

// The default hard floor, below which the window and the command ask before lowering it.
inline constexpr int defaultHardFloorDays = 7;

// An integer setting: its configuration key, what the service accepts (it reads anything else
// as the default) and what the window and the command offer.
struct IntegerSetting {
    QString name; // the field's name, as the command takes it
    int Preferences::*field;
    QString key;
    int serviceMinimum;
    int serviceMaximum;
    int entryMinimum;
    int entryMaximum;
};
const std::vector<IntegerSetting> &integerSettings();
const IntegerSetting &integerSetting(int Preferences::*field);

// A boolean as the application reads one: "1" or, in any case, "true".
bool readsAsTrue(const QString &value);

// The trimmed, non-empty, sorted and unique pieces of a comma-separated list.
QStringList providerList(const QString &commaSeparated);

} // namespace quindle
