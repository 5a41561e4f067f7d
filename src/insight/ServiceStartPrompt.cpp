#include "insight/ServiceStartPrompt.h"

#include "core/PathText.h"
#include "core/WhenFinished.h"
#include "platform/DesktopNouns.h"

#include <QTimer>

namespace quindle {

ServiceStartPrompt::ServiceStartPrompt(StatusModel &model, QObject *parent)
    : QObject(parent)
    , m_model(model) {}

void ServiceStartPrompt::start() {
    if (m_state == State::Starting)
        return;
    m_state = State::Starting;
    m_checks = 0;
    Q_EMIT changed();
    whenFinished(m_model.startService(), this, [this](const ProcessOutput &) {
        whenFinished(m_model.refreshAsync(), this, [this] { check(); });
    });
}

void ServiceStartPrompt::quit() {
    Q_EMIT quitRequested();
}

void ServiceStartPrompt::check() {
    if (m_model.serviceLoaded()) {
        m_state = State::Loaded;
        Q_EMIT changed();
        Q_EMIT loaded();
        return;
    }
    if (m_checks >= maxChecks) {
        m_state = State::Failed;
        Q_EMIT changed();
        return;
    }
    QTimer::singleShot(m_interval, this, [this] {
        ++m_checks;
        Q_EMIT changed();
        whenFinished(m_model.refreshAsync(), this, [this] { check(); });
    });
}

QString ServiceStartPrompt::startButton() {
    return QStringLiteral("Start Service");
}

QString ServiceStartPrompt::quitButton() {
    return QStringLiteral("Quit Quindle");
}

QString ServiceStartPrompt::failureTitle() {
    return QStringLiteral("Couldn't start the service");
}

QString ServiceStartPrompt::failureMessage() const {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(defaultCheckInterval * maxChecks);
    return QStringLiteral("Service didn't load within %1 seconds. Try again, or check %2 "
                          "permissions in %3.")
        .arg(QString::number(seconds.count()), tildePath(m_model.definitionFile()),
             platform::terminalNoun());
}

} // namespace quindle
