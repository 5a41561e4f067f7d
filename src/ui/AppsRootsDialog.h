#pragma once

#include "ui/RuleDialog.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QPushButton;

namespace quindle::ui {

// Edits the apps roots, the folders whose sub-folders are applications. The list is handed to
// `save` (empty: back to `defaults`); a refusal stays on screen with the dialog open.
class AppsRootsDialog : public QDialog {
    Q_OBJECT
public:
    using Save = std::function<std::optional<QString>(const QStringList &)>;

    AppsRootsDialog(const QStringList &roots, QStringList defaults, Save save,
                    FolderChooser chooseFolder, QWidget *parent = nullptr);

    // The roots as listed now; empty when they are the defaults.
    QStringList roots() const;

    void accept() override;

private:
    void fill(const QStringList &roots);
    QStringList listed() const;
    void addRoot(const QString &folder);
    void updateButtons();

    QStringList m_defaults;
    Save m_save;
    FolderChooser m_chooseFolder;
    QListWidget *m_list = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_useDefaults = nullptr;
    QLabel *m_error = nullptr;
};

} // namespace quindle::ui
