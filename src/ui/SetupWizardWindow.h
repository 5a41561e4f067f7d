#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace quindle {
class WizardModel;
}

namespace quindle::ui {

class DialogKeys;

// The first-run setup: welcome, the drive, installing the service, done. Back and Continue
// follow the model's steps and its rule for leaving each one.
class SetupWizardWindow : public QWidget {
    Q_OBJECT
public:
    explicit SetupWizardWindow(WizardModel &model, QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildWelcome();
    QWidget *buildDrive();
    QWidget *buildInstall();
    QWidget *buildDone();
    void rebuild();
    void rebuildDrive();
    void rebuildInstall();
    void pickCurrent();
    void advance();

    WizardModel &m_model;
    bool m_listedOnce = false;

    QStackedWidget *m_pages = nullptr;
    QLabel *m_stepCaption = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_continue = nullptr;
    DialogKeys *m_keys = nullptr;

    QCheckBox *m_skip = nullptr;
    QListWidget *m_drives = nullptr;
    QPushButton *m_rescan = nullptr;
    QLabel *m_listStatus = nullptr;
    QLabel *m_listHint = nullptr;
    QProgressBar *m_prepBusy = nullptr;
    QLabel *m_prep = nullptr;

    QLabel *m_rclone = nullptr;
    QListWidget *m_log = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_installStatus = nullptr;
    QPushButton *m_install = nullptr;
};

} // namespace quindle::ui
