#pragma once

#include "mover/MoverSettings.h"

#include <QHash>
#include <QWidget>

class QRadioButton;
class QSpinBox;

namespace quindle::ui {

// The mover's two preferences: how many transfers run at once and how copies are verified.
class MoverSettingsPanel : public QWidget {
    Q_OBJECT
public:
    explicit MoverSettingsPanel(MoverSettings &settings, QWidget *parent = nullptr);

private:
    void present();

    MoverSettings &m_settings;
    QSpinBox *m_parallel = nullptr;
    QHash<VerificationLevel, QRadioButton *> m_levels;
};

} // namespace quindle::ui
