#include "core/PreferencesModel.h"

#include <algorithm>

namespace quindle {

namespace {

// The service reads integers with optional sign and leading zeros, and takes its default for
// anything it cannot read or that falls outside what it accepts.
std::optional<int> serviceInteger(const QString &value, const IntegerSetting &setting) {
    bool ok = false;
    const qlonglong number = value.trimmed().toLongLong(&ok);
    if (!ok || number < setting.serviceMinimum || number > setting.serviceMaximum)
        return std::nullopt;
    return static_cast<int>(number);
}

} // namespace

PreferencesModel::PreferencesModel(ConfigFile config, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config)) {
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(saveDelay);
    connect(&m_saveTimer, &QTimer::timeout, this, &PreferencesModel::save);
    m_feedbackTimer.setSingleShot(true);
    m_feedbackTimer.setInterval(feedbackDuration);
    connect(&m_feedbackTimer, &QTimer::timeout, this, [this] {
        m_savedFeedback.reset();
        Q_EMIT saveStateChanged();
    });
}

PreferencesModel::~PreferencesModel() {
    if (m_saveTimer.isActive()) {
        m_saveTimer.stop();
        save();
    }
}

QString PreferencesModel::savedText() {
    return QStringLiteral("Saved · daemon picks this up within 30s");
}

void PreferencesModel::load() {
    m_saveTimer.stop();
    m_loading = true;
    const std::optional<std::map<QString, QString>> file = m_config.values();
    if (file) {
        const auto read = [&](const QString &key) -> std::optional<QString> {
            const auto found = file->find(key);
            return found == file->end() ? std::nullopt : std::optional(found->second);
        };
        Preferences &v = m_values;
        if (const auto mode = read(QStringLiteral("QUIET_MODE")))
            v.quietMode = (*mode == quietModes::smart || *mode == quietModes::alwaysOn)
                              ? *mode
                              : quietModes::schedule;
        if (const auto range = read(QStringLiteral("QUIET_HOURS_BLOCKED")))
            v.scheduleRange = *range;
        for (const IntegerSetting &setting : integerSettings()) {
            if (const auto text = read(setting.key))
                v.*setting.field =
                    serviceInteger(*text, setting).value_or(Preferences().*setting.field);
        }
        for (const auto &[key, field] :
             {std::pair{QStringLiteral("SMART_RESPECT_MEETINGS"),
                        &Preferences::smartRespectMeetings},
              std::pair{QStringLiteral("NOTIFY_ON_OK_RUN"), &Preferences::notifyOnOkRun},
              std::pair{QStringLiteral("DISABLE_DELETE"), &Preferences::disableDelete}}) {
            if (const auto text = read(key))
                v.*field = readsAsTrue(*text);
        }
        v.enabledCloudProviders =
            providerList(read(QStringLiteral("OPTIMISE_CLOUD_PROVIDERS")).value_or(QString()));
        m_pendingLegacyAllProviders =
            v.enabledCloudProviders.isEmpty() &&
            readsAsTrue(read(QStringLiteral("INCLUDE_CLOUD_EVICT")).value_or(QString()));
    }
    m_loading = false;
    Q_EMIT valuesChanged();
    migrateLegacyCloudSwitch();
}

bool PreferencesModel::save() {
    m_saveTimer.stop();
    if (const std::optional<QString> error = m_config.set(m_values.configValues())) {
        m_lastApplyError = error;
        Q_EMIT saveStateChanged();
        return false;
    }
    m_lastApplyError.reset();
    m_savedFeedback = savedText();
    m_feedbackTimer.start();
    Q_EMIT saveStateChanged();
    Q_EMIT saved();
    return true;
}

void PreferencesModel::change(const std::function<void(Preferences &)> &edit) {
    Preferences next = m_values;
    edit(next);
    next.enabledCloudProviders = providerList(next.enabledCloudProviders.join(QLatin1Char(',')));
    if (next == m_values)
        return;
    m_values = std::move(next);
    Q_EMIT valuesChanged();
    if (!m_loading)
        m_saveTimer.start(); // a restart: the pause counts from the last change
}

std::optional<int> PreferencesModel::enterHardFloor(int typed) {
    const IntegerSetting &limits = integerSetting(&Preferences::hardFloorDays);
    const int days = std::clamp(typed, limits.entryMinimum, limits.entryMaximum);
    if (days < defaultHardFloorDays && m_values.hardFloorDays >= defaultHardFloorDays)
        return days;
    change([days](Preferences &p) { p.hardFloorDays = days; });
    return std::nullopt;
}

void PreferencesModel::setDetectedCloudProviders(const QStringList &providers) {
    m_detectedProviders = providerList(providers.join(QLatin1Char(',')));
    Q_EMIT valuesChanged();
    migrateLegacyCloudSwitch();
}

void PreferencesModel::migrateLegacyCloudSwitch() {
    if (!m_pendingLegacyAllProviders || m_detectedProviders.isEmpty())
        return;
    m_pendingLegacyAllProviders = false;
    change([this](Preferences &p) { p.enabledCloudProviders = m_detectedProviders; });
}

} // namespace quindle
