#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quindle {
class UpdatePrompt;
}

namespace quindle::ui {

// "Quindle — Update Available": the newer version, the way to it, and Quit.
class UpdatePromptWindow : public QWidget {
    Q_OBJECT
public:
    explicit UpdatePromptWindow(UpdatePrompt &prompt, QWidget *parent = nullptr);

private:
    void showPhase();

    UpdatePrompt &m_prompt;
    QLabel *m_intro = nullptr;
    QLabel *m_versions = nullptr;
    QLabel *m_notes = nullptr;
    QLabel *m_phaseTitle = nullptr;
    QLabel *m_phaseText = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_update = nullptr;
    QPushButton *m_download = nullptr;
    QPushButton *m_recheck = nullptr;
};

} // namespace quindle::ui
