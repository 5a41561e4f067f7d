#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace quindle {
class ServiceRun;
}

namespace quindle::ui {

// What a run's window says in each state.
struct RunWindowTexts {
    QString waiting;   // before any output
    QString running;   // the title while it runs
    QString note;      // beneath the title while it runs
    QString succeeded; // the title after exit 0
    QString doneNote;  // beneath it
    QString failed;    // the title after any other exit
    bool showsTarget = false;

    static RunWindowTexts freeSpace();
    static RunWindowTexts cloudOptimisation();
    static RunWindowTexts folderMove();
};

// The live output of one long service run (Free Up Space, a cloud folder's eviction, a folder's
// move). Closing the window never stops the run; Stop does.
class ServiceRunWindow : public QWidget {
    Q_OBJECT
public:
    ServiceRunWindow(ServiceRun &run, RunWindowTexts texts, QWidget *parent = nullptr);

private:
    void rebuild();
    void showElapsed();

    ServiceRun &m_run;
    RunWindowTexts m_texts;
    QTimer m_clock;
    QLabel *m_icon = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_elapsed = nullptr;
    QLabel *m_target = nullptr;
    QLabel *m_note = nullptr;
    QPlainTextEdit *m_output = nullptr;
    QProgressBar *m_busy = nullptr;
    QPushButton *m_stop = nullptr;
};

} // namespace quindle::ui
