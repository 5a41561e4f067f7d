#include "ui/RulesPane.h"

#include "core/PreferencesModel.h"
#include "core/RuleFloor.h"
#include "core/RulesArray.h"
#include "ui/Confirmation.h"
#include "ui/RuleRowView.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

// A spin box that reports only committed values: one write per edit, not per digit.
QSpinBox *daysBox(QWidget *parent, const QString &accessibleName, int minimum, int maximum) {
    auto *box = new QSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setKeyboardTracking(false);
    name(box, accessibleName);
    return box;
}

} // namespace

RulesPane::RulesPane(RulesArray &rules, PreferencesModel &preferences, QWidget *parent)
    : QWidget(parent)
    , m_rules(rules)
    , m_preferences(preferences)
    , m_chooseFolder(desktopFolderChooser()) {
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addWidget(heading(QStringLiteral("Rules"), this));
    layout->addWidget(caption(QStringLiteral("The daily pass applies these rules in order. Every "
                                             "change is saved at once."),
                              this));
    m_rulesError = paragraph(QString(), this);
    setTone(m_rulesError, Tone::Bad);
    layout->addWidget(m_rulesError);
    m_empty = caption(QStringLiteral("No rules yet. Add one to have the service move or clean up "
                                     "old files."),
                      this);
    layout->addWidget(m_empty);
    m_rowLayout = new QVBoxLayout;
    m_rowLayout->setSpacing(6);
    layout->addLayout(m_rowLayout);

    auto *buttons = new QHBoxLayout;
    auto *add = new QPushButton(QStringLiteral("Add Rule…"), this);
    name(add, QStringLiteral("Add Rule"), QStringLiteral("Add a rule to the daily pass"));
    buttons->addWidget(add);
    m_raiseAll = new QPushButton(this);
    buttons->addWidget(m_raiseAll);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    layout->addSpacing(12);
    layout->addWidget(heading(QStringLiteral("Global overrides"), this));
    m_disableDelete =
        new QCheckBox(QStringLiteral("Never delete personal files — only move them"), this);
    const QString deleteHint = QStringLiteral("Skips every Delete rule above. App-cache cleanup "
                                              "still runs (caches regenerate, zero risk).");
    name(m_disableDelete, m_disableDelete->text(), deleteHint);
    layout->addWidget(m_disableDelete);
    auto *deleteCaption = caption(deleteHint, this);
    deleteCaption->setContentsMargins(m_disableDelete->sizeHint().height() + 4, 0, 0, 4);
    layout->addWidget(deleteCaption);

    const IntegerSetting &archive = integerSetting(&Preferences::minArchiveDays);
    const IntegerSetting &del = integerSetting(&Preferences::minDeleteDays);
    m_archiveFloor =
        daysBox(this, QStringLiteral("Archive floor"), archive.entryMinimum, archive.entryMaximum);
    m_deleteFloor =
        daysBox(this, QStringLiteral("Delete floor"), del.entryMinimum, del.entryMaximum);
    // Wider than the allowed range, so that what is typed reaches the clamp and shows its result.
    m_hardFloor = daysBox(this, QStringLiteral("Hard floor"), 0, 9999);
    const QString perRule = QStringLiteral("days  (0 = use per-rule values)");
    auto *grid = new QGridLayout;
    grid->setColumnStretch(3, 1);
    int row = 0;
    for (const auto &[text, box, unit] :
         {std::tuple{QStringLiteral("Floor — raise all archive ages to at least"), m_archiveFloor,
                     perRule},
          std::tuple{QStringLiteral("Floor — raise all delete ages to at least"), m_deleteFloor,
                     perRule},
          std::tuple{QStringLiteral("Hard floor — never act on anything younger than"), m_hardFloor,
                     QStringLiteral("days")}}) {
        auto *label = new QLabel(text, this);
        label->setBuddy(box);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        grid->addWidget(new QLabel(unit, this), row++, 2);
    }
    layout->addLayout(grid);
    m_floorStatement = paragraph(QString(), this);
    layout->addWidget(m_floorStatement);
    layout->addStretch(1);

    connect(add, &QPushButton::clicked, this, [this] { openDialog(std::nullopt); });
    connect(m_raiseAll, &QPushButton::clicked, this,
            [this] { m_rules.raiseAllBelowFloor(m_preferences.values().effectiveHardFloor()); });
    connect(m_disableDelete, &QCheckBox::toggled, this, [this](bool on) {
        m_preferences.change([on](Preferences &p) { p.disableDelete = on; });
    });
    connect(m_archiveFloor, &QSpinBox::valueChanged, this, [this](int days) {
        m_preferences.change([days](Preferences &p) { p.minArchiveDays = days; });
    });
    connect(m_deleteFloor, &QSpinBox::valueChanged, this, [this](int days) {
        m_preferences.change([days](Preferences &p) { p.minDeleteDays = days; });
    });
    connect(m_hardFloor, &QSpinBox::valueChanged, this, &RulesPane::enterHardFloor);
    connect(&m_rules, &RulesArray::changed, this, &RulesPane::presentRules);
    connect(&m_preferences, &PreferencesModel::valuesChanged, this, [this] {
        presentRules();
        presentOverrides();
    });
    presentRules();
    presentOverrides();
}

void RulesPane::presentRules() {
    const QList<RuleRow> &rows = m_rules.rows();
    bool sameRows = rows.size() == m_rowViews.size();
    for (qsizetype i = 0; sameRows && i < rows.size(); ++i)
        sameRows = rows.at(i).id == m_rowViews.at(i)->id();
    // Rows are rebuilt only when rules come or go, so a box being edited keeps its focus.
    if (!sameRows) {
        for (RuleRowView *view : std::as_const(m_rowViews))
            view->deleteLater(); // it may be the sender of the edit that got us here
        m_rowViews.clear();
        for (qsizetype i = 0; i < rows.size(); ++i) {
            auto *view = new RuleRowView(this);
            connect(view, &RuleRowView::ageChosen, this,
                    [this](const QUuid &id, int days) { m_rules.updateAge(id, days); });
            connect(view, &RuleRowView::raiseRequested, this, [this](const QUuid &id) {
                m_rules.updateAge(id, m_preferences.values().effectiveHardFloor());
            });
            connect(view, &RuleRowView::editRequested, this,
                    [this](const QUuid &id) { openDialog(id); });
            connect(view, &RuleRowView::removeRequested, this,
                    [this](const QUuid &id) { m_rules.remove(id); });
            m_rowLayout->addWidget(view);
            m_rowViews << view;
        }
    }
    for (qsizetype i = 0; i < rows.size(); ++i)
        m_rowViews.at(i)->present(rows.at(i), int(i + 1), m_preferences.values());
    m_empty->setVisible(rows.isEmpty() && !m_rules.lastError());
    m_rulesError->setText(m_rules.lastError().value_or(QString()));
    m_rulesError->setVisible(m_rules.lastError().has_value());

    const int floor = m_preferences.values().effectiveHardFloor();
    const int below = m_rules.countBelowFloor(floor);
    m_raiseAll->setVisible(below > 0);
    m_raiseAll->setText(ruleFloor::raiseAll(below, floor));
    name(m_raiseAll, ruleFloor::raiseAll(below, floor), ruleFloor::raiseAllHint(floor));
}

void RulesPane::presentOverrides() {
    const Preferences &values = m_preferences.values();
    for (const auto &[box, value] : {std::pair{m_archiveFloor, values.minArchiveDays},
                                     std::pair{m_deleteFloor, values.minDeleteDays},
                                     std::pair{m_hardFloor, values.hardFloorDays}}) {
        const QSignalBlocker quiet(box);
        box->setValue(value);
    }
    {
        const QSignalBlocker quiet(m_disableDelete);
        m_disableDelete->setChecked(values.disableDelete);
    }
    m_floorStatement->setText(ruleFloor::statement(values.hardFloorDays));
    setTone(m_floorStatement,
            values.hardFloorDays < defaultHardFloorDays ? Tone::Warning : Tone::Neutral);
}

void RulesPane::enterHardFloor(int typed) {
    if (const std::optional<int> lower = m_preferences.enterHardFloor(typed)) {
        const int days = *lower;
        m_floorQuestion = openConfirmation(
            this,
            {.windowTitle = ruleFloor::lowerQuestion(),
             .question = ruleFloor::lowerQuestion(),
             .details = ruleFloor::lowerDetails(days),
             .confirmLabel = ruleFloor::lowerConfirm(days),
             .confirmHint = {}},
            [this, days](bool lowered) {
                m_floorQuestion = nullptr;
                if (lowered)
                    m_preferences.change([days](Preferences &p) { p.hardFloorDays = days; });
                presentOverrides();
            });
        // Keeping the floor is the safe answer, and says so.
        QAbstractButton *keep = m_floorQuestion->button(QMessageBox::Cancel);
        keep->setText(ruleFloor::keepDefault());
        name(keep, ruleFloor::keepDefault());
    }
    // What was typed may have been clamped, or wait for the answer.
    presentOverrides();
}

void RulesPane::openDialog(const std::optional<QUuid> &editing) {
    if (m_dialog) {
        m_dialog->raise();
        return;
    }
    std::optional<RuleRecord> record;
    if (editing) {
        for (const RuleRow &row : m_rules.rows())
            if (row.id == *editing)
                record = row.record;
        if (!record)
            return;
    }
    m_dialog = new RuleDialog(
        record,
        [this, editing](const RuleRecord &rule) {
            return editing ? m_rules.replace(*editing, rule) : m_rules.add(rule);
        },
        m_chooseFolder, this);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QDialog::finished, this, [this] { m_dialog = nullptr; });
    m_dialog->open();
}

} // namespace quindle::ui
