#include "ui/QuietHoursPane.h"

#include "core/PreferencesModel.h"
#include "ui/Theme.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

QSpinBox *numberBox(QWidget *parent, int Preferences::*field, const QString &accessibleName) {
    const IntegerSetting &limits = integerSetting(field);
    auto *box = new QSpinBox(parent);
    box->setRange(limits.entryMinimum, limits.entryMaximum);
    box->setKeyboardTracking(false);
    name(box, accessibleName);
    return box;
}

// The controls of a mode: labels, boxes and units in columns, the room to spare after them.
QGridLayout *modeGrid(QWidget *settings) {
    auto *grid = new QGridLayout(settings);
    grid->setContentsMargins(0, 4, 0, 0);
    grid->setColumnStretch(3, 1);
    return grid;
}

// A row of the grid: the text before the box, the box, the unit after it.
void addNumberRow(QGridLayout *grid, const QString &before, QSpinBox *box, const QString &unit) {
    const int row = grid->rowCount();
    auto *label = new QLabel(before, box->parentWidget());
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    grid->addWidget(new QLabel(unit, box->parentWidget()), row, 2);
}

} // namespace

QuietHoursPane::QuietHoursPane(PreferencesModel &preferences, QWidget *parent)
    : QWidget(parent)
    , m_preferences(preferences) {
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(6);
    layout->addWidget(heading(QStringLiteral("Quiet hours"), this));
    layout->addWidget(caption(QStringLiteral("When the service holds back heavy work such as moves "
                                             "and clean-ups."),
                              this));
    auto *group = new QButtonGroup(this);
    const auto addMode = [&](const QString &mode, const QString &title, QWidget *settings) {
        auto *radio = new QRadioButton(title, this);
        name(radio, title);
        group->addButton(radio);
        layout->addSpacing(6);
        layout->addWidget(radio);
        // Under the button's label, not under its circle.
        settings->setContentsMargins(radio->sizeHint().height() + 4, 0, 0, 0);
        layout->addWidget(settings);
        m_modes.insert(mode, radio);
        m_modeSettings.insert(mode, settings);
        connect(radio, &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on)
                m_preferences.change([&mode](Preferences &p) { p.quietMode = mode; });
        });
    };

    auto *schedule = new QWidget(this);
    auto *scheduleGrid = modeGrid(schedule);
    m_range = new QLineEdit(schedule);
    m_range->setMinimumWidth(textWidth(this, 24));
    m_range->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    name(m_range, QStringLiteral("Quiet during"));
    auto *rangeLabel = new QLabel(QStringLiteral("Quiet during"), schedule);
    rangeLabel->setBuddy(m_range);
    scheduleGrid->addWidget(rangeLabel, 0, 0);
    scheduleGrid->addWidget(m_range, 0, 1, 1, 2);
    scheduleGrid->addWidget(
        caption(QStringLiteral("(24-hour ranges, comma-separated: e.g. 9-12,14-18)"), schedule), 1,
        0, 1, 4);
    m_idleSeconds =
        numberBox(schedule, &Preferences::idleThresholdSecs, QStringLiteral("Idle time"));
    addNumberRow(scheduleGrid, QStringLiteral("Also wait until you've been idle for"),
                 m_idleSeconds, QStringLiteral("seconds"));
    addMode(quietModes::schedule, QStringLiteral("Scheduled window"), schedule);

    auto *smart = new QWidget(this);
    auto *smartGrid = modeGrid(smart);
    m_activeMinutes =
        numberBox(smart, &Preferences::smartIdleMinutes, QStringLiteral("Active within"));
    addNumberRow(smartGrid, QStringLiteral("User active if input within last"), m_activeMinutes,
                 QStringLiteral("minutes"));
    m_battery = numberBox(smart, &Preferences::smartMinBattery, QStringLiteral("Battery floor"));
    addNumberRow(smartGrid, QStringLiteral("Pause when battery drops below"), m_battery,
                 QStringLiteral("percent"));
    smartGrid->addWidget(caption(QStringLiteral("Only applies on battery power. On AC, the "
                                                "percentage is ignored."),
                                 smart),
                         smartGrid->rowCount(), 0, 1, 4);
    m_meetings = new QCheckBox(QStringLiteral("Pause during meetings"), smart);
    const QString meetingsHint = QStringLiteral("Detects when your camera or microphone is in use "
                                                "(any app). No video or audio is recorded.");
    name(m_meetings, m_meetings->text(), meetingsHint);
    smartGrid->addWidget(m_meetings, smartGrid->rowCount(), 0, 1, 4);
    smartGrid->addWidget(caption(meetingsHint, smart), smartGrid->rowCount(), 0, 1, 4);
    addMode(quietModes::smart, QStringLiteral("Smart (recommended)"), smart);

    auto *always = new QWidget(this);
    auto *alwaysLayout = new QVBoxLayout(always);
    alwaysLayout->setContentsMargins(0, 4, 0, 0);
    alwaysLayout->addWidget(
        caption(QStringLiteral("Never suppress auto-actions. Use with care."), always));
    addMode(quietModes::alwaysOn, QStringLiteral("Always on"), always);
    layout->addStretch(1);

    // Stored as typed; the save waits for a pause in the typing.
    connect(m_range, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_preferences.change([&text](Preferences &p) { p.scheduleRange = text; });
    });
    for (const auto &[box, field] : {std::pair{m_idleSeconds, &Preferences::idleThresholdSecs},
                                     std::pair{m_activeMinutes, &Preferences::smartIdleMinutes},
                                     std::pair{m_battery, &Preferences::smartMinBattery}}) {
        connect(box, &QSpinBox::valueChanged, this, [this, field = field](int value) {
            m_preferences.change([field, value](Preferences &p) { p.*field = value; });
        });
    }
    connect(m_meetings, &QCheckBox::toggled, this, [this](bool on) {
        m_preferences.change([on](Preferences &p) { p.smartRespectMeetings = on; });
    });
    connect(&m_preferences, &PreferencesModel::valuesChanged, this, &QuietHoursPane::present);
    present();
}

void QuietHoursPane::present() {
    const Preferences &values = m_preferences.values();
    if (QRadioButton *mode = m_modes.value(values.quietMode); mode && !mode->isChecked()) {
        const QSignalBlocker quiet(mode);
        mode->setChecked(true);
    }
    for (auto it = m_modeSettings.cbegin(); it != m_modeSettings.cend(); ++it)
        it.value()->setEnabled(it.key() == values.quietMode);
    // Never while it is being typed into: that would move the cursor.
    if (m_range->text() != values.scheduleRange)
        m_range->setText(values.scheduleRange);
    for (const auto &[box, value] : {std::pair{m_idleSeconds, values.idleThresholdSecs},
                                     std::pair{m_activeMinutes, values.smartIdleMinutes},
                                     std::pair{m_battery, values.smartMinBattery}}) {
        const QSignalBlocker quiet(box);
        box->setValue(value);
    }
    const QSignalBlocker quiet(m_meetings);
    m_meetings->setChecked(values.smartRespectMeetings);
}

} // namespace quindle::ui
