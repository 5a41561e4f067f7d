#include "ui/RuleRowView.h"

#include "core/RuleActions.h"
#include "core/RuleChecks.h"
#include "core/RuleFloor.h"
#include "core/VolumeSpace.h"
#include "ui/ElidedLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

QString detailText(const RuleRecord &rule) {
    if (rule.action == ruleActions::appCacheClean)
        return QStringLiteral("Surgical cache subfolders only");
    if (rule.action == ruleActions::archiveBig) {
        const std::optional<qint64> size = ruleActions::sizeBytes(rule.extras);
        return size ? QStringLiteral("Only files larger than ") + sizeText(*size)
                    : QStringLiteral("Only files larger than “%1”, which is not a size the service "
                                     "reads.")
                          .arg(rule.extras);
    }
    if (!ruleActions::isKnown(rule.action))
        return QStringLiteral("The service does not know this action and skips the rule; it is "
                              "kept as written.");
    return {};
}

} // namespace

RuleRowView::RuleRowView(QWidget *parent)
    : QFrame(parent) {
    setObjectName(QStringLiteral("card"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(4);

    auto *top = new QHBoxLayout;
    m_title = new QLabel(this);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    top->addWidget(m_title, 1);
    m_edit = new QPushButton(QStringLiteral("Edit…"), this);
    m_remove = new QPushButton(QStringLiteral("Remove"), this);
    top->addWidget(m_edit);
    top->addWidget(m_remove);
    layout->addLayout(top);

    m_places = new ElidedLabel(Qt::ElideMiddle, this);
    layout->addWidget(m_places);
    m_detail = caption(QString(), this);
    layout->addWidget(m_detail);

    m_ageRow = new QWidget(this);
    auto *ageLayout = new QHBoxLayout(m_ageRow);
    ageLayout->setContentsMargins(0, 0, 0, 0);
    ageLayout->addWidget(new QLabel(QStringLiteral("Untouched for"), m_ageRow));
    m_age = new QSpinBox(m_ageRow);
    m_age->setRange(0, int(maximumRuleAgeDays));
    m_age->setSuffix(QStringLiteral(" days"));
    // One write when the value is committed, not one per digit typed.
    m_age->setKeyboardTracking(false);
    ageLayout->addWidget(m_age);
    m_effective = caption(QString(), m_ageRow);
    ageLayout->addWidget(m_effective, 1);
    layout->addWidget(m_ageRow);

    m_floorRow = new QWidget(this);
    auto *floorLayout = new QHBoxLayout(m_floorRow);
    floorLayout->setContentsMargins(0, 0, 0, 0);
    m_floorWarning = new QLabel(m_floorRow);
    m_floorWarning->setWordWrap(true);
    setTone(m_floorWarning, Tone::Warning);
    floorLayout->addWidget(m_floorWarning, 1);
    m_raise = new QPushButton(m_floorRow);
    floorLayout->addWidget(m_raise, 0, Qt::AlignTop);
    layout->addWidget(m_floorRow);

    connect(m_age, &QSpinBox::valueChanged, this,
            [this](int days) { Q_EMIT ageChosen(m_id, days); });
    connect(m_raise, &QPushButton::clicked, this, [this] { Q_EMIT raiseRequested(m_id); });
    connect(m_edit, &QPushButton::clicked, this, [this] { Q_EMIT editRequested(m_id); });
    connect(m_remove, &QPushButton::clicked, this, [this] { Q_EMIT removeRequested(m_id); });
}

void RuleRowView::present(const RuleRow &row, int number, const Preferences &preferences) {
    m_id = row.id;
    const RuleRecord &rule = row.record;
    m_title->setText(QStringLiteral("%1. %2").arg(number).arg(row.actionLabel()));
    m_places->setFullText(ruleActions::placesText(rule));
    m_detail->setText(detailText(rule));
    m_detail->setVisible(!m_detail->text().isEmpty());

    const QString which = QStringLiteral(" rule %1").arg(number);
    name(m_edit, QStringLiteral("Edit") + which);
    name(m_remove, QStringLiteral("Remove") + which);
    name(m_age, QStringLiteral("Age of") + which);

    m_ageRow->setVisible(ruleActions::actsOnSource(rule.action));
    {
        const QSignalBlocker quiet(m_age);
        m_age->setValue(int(std::clamp<qint64>(rule.ageDays, 0, maximumRuleAgeDays)));
    }
    const std::optional<qint64> effective = ruleFloor::effectiveAgeDays(rule, preferences);
    const int floor = preferences.effectiveHardFloor();
    const bool below = ruleFloor::isBelow(rule, floor);
    // A global override can hold the rule back further than its own age says.
    m_effective->setText(
        !below && effective && *effective > rule.ageDays
            ? QStringLiteral("Runs at %1 days, the floor in Global overrides.").arg(*effective)
            : QString());
    m_floorRow->setVisible(below);
    m_raise->setText(ruleFloor::raiseOne(floor));
    name(m_raise, ruleFloor::raiseOne(floor) + QStringLiteral(" for") + which);
    if (below)
        m_floorWarning->setText(ruleFloor::overrides(floor, rule.ageDays) + QLatin1Char(' ') +
                                ruleFloor::willRunAs(effective.value_or(floor)));
}

} // namespace quindle::ui
