#pragma once

#include "core/RulesBlock.h"

#include <QDialog>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quindle::ui {

// Asks for a folder without blocking; calls `chosen` with the folder once one is picked.
using FolderChooser =
    std::function<void(QWidget *parent, const QString &title, const QString &start,
                       std::function<void(const QString &)> chosen)>;
// The desktop's folder dialog.
FolderChooser desktopFolderChooser();

// Adds a rule or edits one. Only the fields the chosen action uses are shown; the others keep
// what the rule had. The rule is handed to `submit`, and a refusal stays on screen with the
// dialog open so that it can be corrected.
class RuleDialog : public QDialog {
    Q_OBJECT
public:
    using Submit = std::function<std::optional<QString>(const RuleRecord &)>;

    RuleDialog(const std::optional<RuleRecord> &editing, Submit submit, FolderChooser chooseFolder,
               QWidget *parent = nullptr);

    // The rule as the fields describe it now.
    RuleRecord record() const;

    void accept() override;

private:
    void showFieldsFor();
    QString chosenAction() const;

    RuleRecord m_original;
    Submit m_submit;
    FolderChooser m_chooseFolder;
    QComboBox *m_action = nullptr;
    QLineEdit *m_source = nullptr;
    QLineEdit *m_destination = nullptr;
    QSpinBox *m_age = nullptr;
    QLineEdit *m_size = nullptr;
    QWidget *m_sizeRow = nullptr;
    QLabel *m_actionNote = nullptr;
    QLabel *m_error = nullptr;
    QPushButton *m_save = nullptr;
    // The rows the action may hide, by the layout that holds each field.
    QWidget *m_fields = nullptr;
    QWidget *m_sourceRow = nullptr;
    QWidget *m_destinationRow = nullptr;
};

} // namespace quindle::ui
