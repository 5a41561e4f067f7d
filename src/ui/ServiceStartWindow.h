#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

namespace quindle {
class ServiceStartPrompt;
}

namespace quindle::ui {

class DialogKeys;

// Shown at launch when the service is installed but not running: start it, or quit.
class ServiceStartWindow : public QWidget {
    Q_OBJECT
public:
    explicit ServiceStartWindow(ServiceStartPrompt &prompt, QWidget *parent = nullptr);

private:
    void rebuild();

    ServiceStartPrompt &m_prompt;
    QWidget *m_busy = nullptr;
    QLabel *m_busyText = nullptr;
    QProgressBar *m_busyBar = nullptr;
    QFrame *m_failure = nullptr;
    QLabel *m_failureTitle = nullptr;
    QLabel *m_failureText = nullptr;
    QPushButton *m_quit = nullptr;
    QPushButton *m_start = nullptr;
    DialogKeys *m_keys = nullptr;
};

} // namespace quindle::ui
