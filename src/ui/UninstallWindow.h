#pragma once

#include <QWidget>

class QCheckBox;
class QFormLayout;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QStackedWidget;

namespace quindle {
class UninstallWizardModel;
}

namespace quindle::ui {

// "Uninstall Quindle": what will go and what stays, the run with its log, then what is left.
class UninstallWindow : public QWidget {
    Q_OBJECT
public:
    explicit UninstallWindow(UninstallWizardModel &model, QWidget *parent = nullptr);

Q_SIGNALS:
    // "Quit" on the last step: the application ends.
    void quitRequested();

private:
    QWidget *confirmPage();
    QWidget *workingPage();
    QWidget *donePage();
    void refresh();

    UninstallWizardModel &m_model;
    QStackedWidget *m_pages = nullptr;
    QCheckBox *m_revert = nullptr;
    QLabel *m_revertNote = nullptr;
    QCheckBox *m_config = nullptr;
    QCheckBox *m_trash = nullptr;
    QLabel *m_service = nullptr;
    QLabel *m_relocated = nullptr;
    QLabel *m_install = nullptr;
    QLabel *m_configDir = nullptr;
    QProgressBar *m_progress = nullptr;
    QPlainTextEdit *m_log = nullptr;
    QLabel *m_doneText = nullptr;
};

} // namespace quindle::ui
