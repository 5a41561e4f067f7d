#pragma once

#include "core/ConfigFile.h"
#include "core/Preferences.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace quindle {

// The service settings of the Settings window. Every change is written back by itself a short
// pause after the last one, so a burst of keystrokes is one write; the service reads the file
// again on its next tick.
class PreferencesModel : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds saveDelay{400};
    static constexpr std::chrono::milliseconds feedbackDuration{2000};

    explicit PreferencesModel(ConfigFile config = ConfigFile(), QObject *parent = nullptr);
    // A change still waiting for its pause is written now rather than lost.
    ~PreferencesModel() override;

    const Preferences &values() const { return m_values; }
    const ConfigFile &config() const { return m_config; }

    // Reads every key the file has, as the service reads it: a number the service would not
    // take leaves the default. Drops a change not yet written.
    void load();
    // Writes every setting at once; false with lastApplyError() when the file was not changed.
    bool save();

    // Applies `edit` to the settings and, when it changed anything, schedules the save.
    void change(const std::function<void(Preferences &)> &edit);

    // A hard floor as typed: clamped to 1–365 and applied, unless it would lower the floor below
    // the default. Then nothing changes and the clamped value is returned, to be confirmed.
    std::optional<int> enterHardFloor(int typed);

    // The cloud providers found on this computer. A configuration from before the per-provider
    // list (INCLUDE_CLOUD_EVICT=1 alone) enables all of them, once they are known.
    void setDetectedCloudProviders(const QStringList &providers);
    const QStringList &detectedCloudProviders() const { return m_detectedProviders; }

    bool isLoading() const { return m_loading; }
    bool isSavePending() const { return m_saveTimer.isActive(); }
    const std::optional<QString> &lastApplyError() const { return m_lastApplyError; }
    // "Saved · daemon picks this up within 30s" for a moment after each write.
    const std::optional<QString> &savedFeedback() const { return m_savedFeedback; }

    static QString savedText();

Q_SIGNALS:
    void valuesChanged();
    // lastApplyError() or savedFeedback() changed.
    void saveStateChanged();
    // The file was written.
    void saved();

private:
    void migrateLegacyCloudSwitch();

    ConfigFile m_config;
    Preferences m_values;
    QStringList m_detectedProviders;
    bool m_pendingLegacyAllProviders = false;
    bool m_loading = false;
    std::optional<QString> m_lastApplyError;
    std::optional<QString> m_savedFeedback;
    QTimer m_saveTimer;
    QTimer m_feedbackTimer;
};

} // namespace quindle
