#include "ui/MoverSettingsPanel.h"

#include "ui/Theme.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quindle::ui {

MoverSettingsPanel::MoverSettingsPanel(MoverSettings &settings, QWidget *parent)
    : QWidget(parent)
    , m_settings(settings) {
    setFixedWidth(textWidth(this, 70));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto *parallelTitle = heading(MoverSettings::parallelTransfersTitle(), this);
    layout->addWidget(parallelTitle);
    auto *row = new QHBoxLayout;
    m_parallel = new QSpinBox(this);
    m_parallel->setRange(MoverSettings::minConcurrent, MoverSettings::maxConcurrentLimit);
    name(m_parallel, MoverSettings::parallelTransfersTitle(),
         MoverSettings::parallelTransfersHelp());
    parallelTitle->setBuddy(m_parallel);
    row->addWidget(m_parallel);
    row->addWidget(new QLabel(MoverSettings::parallelTransfersUnit(), this), 1);
    layout->addLayout(row);
    layout->addWidget(caption(MoverSettings::parallelTransfersHelp(), this));

    layout->addSpacing(10);
    layout->addWidget(heading(MoverSettings::verificationLevelTitle(), this));
    auto *group = new QButtonGroup(this);
    for (VerificationLevel level :
         {VerificationLevel::Fast, VerificationLevel::Thorough, VerificationLevel::Off}) {
        auto *radio = new QRadioButton(title(level), this);
        name(radio, title(level), description(level));
        group->addButton(radio);
        layout->addWidget(radio);
        auto *text = caption(description(level), this);
        // Under the button's label, not under its circle.
        text->setContentsMargins(radio->sizeHint().height() + 4, 0, 0, 6);
        layout->addWidget(text);
        m_levels.insert(level, radio);
        connect(radio, &QRadioButton::toggled, this, [this, level](bool on) {
            if (on)
                m_settings.setVerificationLevel(level);
        });
    }

    connect(m_parallel, &QSpinBox::valueChanged, this,
            [this](int value) { m_settings.setMaxConcurrent(value); });
    connect(&m_settings, &MoverSettings::changed, this, &MoverSettingsPanel::present);
    present();
}

void MoverSettingsPanel::present() {
    const QSignalBlocker quiet(m_parallel);
    m_parallel->setValue(m_settings.maxConcurrent());
    QRadioButton *chosen = m_levels.value(m_settings.verificationLevel());
    if (chosen && !chosen->isChecked()) {
        const QSignalBlocker quietRadio(chosen);
        chosen->setChecked(true);
    }
}

} // namespace quindle::ui
