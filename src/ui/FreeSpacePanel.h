#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace quindle {
class FreeSpaceResult;
class ServiceRun;
} // namespace quindle

namespace quindle::ui {

// The popover's Free Up Space control and the banner with the last run's result, shown until
// it is dismissed.
class FreeSpacePanel : public QWidget {
    Q_OBJECT
public:
    // `paused` says whether the service's automatic actions are paused; `openProgress` brings
    // the run's window forward.
    FreeSpacePanel(ServiceRun &run, FreeSpaceResult &result, std::function<bool()> paused,
                   std::function<void()> openProgress, QWidget *parent = nullptr);

    QPushButton *button() const { return m_button; }
    QWidget *banner() const { return m_banner; }

    static QString hint();
    static QString runningHint();
    static QString pausedHint();

public Q_SLOTS:
    void rebuild();

private:
    ServiceRun &m_run;
    FreeSpaceResult &m_result;
    std::function<bool()> m_paused;
    std::function<void()> m_openProgress;
    QPushButton *m_button = nullptr;
    QLabel *m_state = nullptr;
    QWidget *m_banner = nullptr;
    QLabel *m_headline = nullptr;
    QLabel *m_details = nullptr;
};

} // namespace quindle::ui
