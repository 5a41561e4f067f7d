#pragma once

#include "core/StatusModel.h"

#include <QObject>
#include <QString>

#include <chrono>

namespace quindle {

// The prompt shown at launch when the service is installed but not running: start it and wait
// for it to come up, or quit.
class ServiceStartPrompt : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Starting, Loaded, Failed };

    static constexpr int maxChecks = 20;
    static constexpr std::chrono::milliseconds defaultCheckInterval{500};

    explicit ServiceStartPrompt(StatusModel &model, QObject *parent = nullptr);

    // "Start Service".
    void start();
    // "Quit Quindle".
    void quit();

    State state() const { return m_state; }
    // Refreshes after the first one, while waiting.
    int checks() const { return m_checks; }
    void setCheckInterval(std::chrono::milliseconds interval) { m_interval = interval; }

    static QString startButton();
    static QString quitButton();
    static QString failureTitle();
    QString failureMessage() const;

Q_SIGNALS:
    void changed();
    void loaded();
    void quitRequested();

private:
    void check();

    StatusModel &m_model;
    State m_state = State::Idle;
    int m_checks = 0;
    std::chrono::milliseconds m_interval = defaultCheckInterval;
};

} // namespace quindle
