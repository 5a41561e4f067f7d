#pragma once

#include "core/Preferences.h"
#include "core/RulesArray.h"

#include <QFrame>
#include <QUuid>

class QLabel;
class QPushButton;
class QSpinBox;

namespace quindle::ui {

class ElidedLabel;

// One rule of the Rules pane: what it does, where, at which age, and the floor holding it back.
class RuleRowView : public QFrame {
    Q_OBJECT
public:
    explicit RuleRowView(QWidget *parent = nullptr);

    // Shows `row` as the `number`th rule under `preferences`' floors.
    void present(const RuleRow &row, int number, const Preferences &preferences);
    QUuid id() const { return m_id; }

Q_SIGNALS:
    void ageChosen(const QUuid &id, int days);
    void raiseRequested(const QUuid &id);
    void editRequested(const QUuid &id);
    void removeRequested(const QUuid &id);

private:
    QUuid m_id;
    QLabel *m_title = nullptr;
    ElidedLabel *m_places = nullptr;
    QLabel *m_detail = nullptr;
    QWidget *m_ageRow = nullptr;
    QSpinBox *m_age = nullptr;
    QLabel *m_effective = nullptr;
    QWidget *m_floorRow = nullptr;
    QLabel *m_floorWarning = nullptr;
    QPushButton *m_raise = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_remove = nullptr;
};

} // namespace quindle::ui
