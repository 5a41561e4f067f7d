#pragma once

#include <QHash>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace quindle {
class PreferencesModel;
}

namespace quindle::ui {

// When the service holds heavy work back: a scheduled window, smart detection, or never.
class QuietHoursPane : public QWidget {
    Q_OBJECT
public:
    explicit QuietHoursPane(PreferencesModel &preferences, QWidget *parent = nullptr);

private:
    void present();

    PreferencesModel &m_preferences;
    QHash<QString, QRadioButton *> m_modes;
    QHash<QString, QWidget *> m_modeSettings; // the controls each mode uses
    QLineEdit *m_range = nullptr;
    QSpinBox *m_idleSeconds = nullptr;
    QSpinBox *m_activeMinutes = nullptr;
    QSpinBox *m_battery = nullptr;
    QCheckBox *m_meetings = nullptr;
};

} // namespace quindle::ui
