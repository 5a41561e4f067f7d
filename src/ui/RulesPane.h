#pragma once

#include "ui/RuleDialog.h"

#include <QMessageBox>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

namespace quindle {
class PreferencesModel;
class RulesArray;
} // namespace quindle

namespace quindle::ui {

class RuleRowView;

// The rules of the daily pass with their ages, and the overrides and floors above them all.
class RulesPane : public QWidget {
    Q_OBJECT
public:
    RulesPane(RulesArray &rules, PreferencesModel &preferences, QWidget *parent = nullptr);

    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    // The open rule dialog and hard floor question, if any.
    RuleDialog *ruleDialog() const { return m_dialog; }
    QMessageBox *floorQuestion() const { return m_floorQuestion; }

private:
    void presentRules();
    void presentOverrides();
    void openDialog(const std::optional<QUuid> &editing);
    void enterHardFloor(int typed);

    RulesArray &m_rules;
    PreferencesModel &m_preferences;
    FolderChooser m_chooseFolder;
    QPointer<RuleDialog> m_dialog;
    QPointer<QMessageBox> m_floorQuestion;

    QLabel *m_rulesError = nullptr;
    QLabel *m_empty = nullptr;
    QVBoxLayout *m_rowLayout = nullptr;
    QList<RuleRowView *> m_rowViews;
    QPushButton *m_raiseAll = nullptr;
    QCheckBox *m_disableDelete = nullptr;
    QSpinBox *m_archiveFloor = nullptr;
    QSpinBox *m_deleteFloor = nullptr;
    QSpinBox *m_hardFloor = nullptr;
    QLabel *m_floorStatement = nullptr;
};

} // namespace quindle::ui
