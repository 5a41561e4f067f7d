#include "ui/ServiceStartWindow.h"

#include "insight/ServiceStartPrompt.h"
#include "platform/DesktopNouns.h"
#include "ui/DialogKeys.h"
#include "ui/StatusIcons.h"
#include "ui/Theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quindle::ui {

ServiceStartWindow::ServiceStartWindow(ServiceStartPrompt &prompt, QWidget *parent)
    : QWidget(parent)
    , m_prompt(prompt) {
    auto *outer = new QVBoxLayout(this);
    // Top-aligned, so that the progress and the failure appear below text that stays put.
    outer->setContentsMargins(32, 48, 32, 20);
    outer->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->setSpacing(16);
    auto *icon = new QLabel(this);
    icon->setPixmap(warningIcon(this, 48));
    header->addWidget(icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(heading(QStringLiteral("The background service is not running"), this));
    auto *explanation =
        new QLabel(QStringLiteral("The background watch loop is not loaded. Click Start to load "
                                  "it via %1 — it will then auto-start at every login.")
                       .arg(platform::serviceManagerNoun()),
                   this);
    explanation->setWordWrap(true);
    texts->addWidget(explanation);
    texts->addWidget(caption(QStringLiteral("Quindle needs the service to watch free space and "
                                            "apply your rules; until it runs, nothing is moved "
                                            "for you."),
                             this));
    header->addLayout(texts, 1);
    outer->addLayout(header);

    m_busy = new QWidget(this);
    auto *busy = new QHBoxLayout(m_busy);
    busy->setContentsMargins(64, 0, 0, 0);
    m_busyBar = new QProgressBar(m_busy);
    m_busyBar->setRange(0, 0);
    m_busyBar->setTextVisible(false);
    m_busyBar->setMaximumWidth(160);
    name(m_busyBar, QStringLiteral("Starting the service"));
    busy->addWidget(m_busyBar);
    m_busyText = caption(QString(), m_busy);
    busy->addWidget(m_busyText, 1);
    outer->addWidget(m_busy);

    m_failure = card(this);
    auto *failure = new QVBoxLayout(m_failure);
    failure->setContentsMargins(14, 12, 14, 12);
    failure->setSpacing(4);
    m_failureTitle = new QLabel(ServiceStartPrompt::failureTitle(), m_failure);
    QFont bold = m_failureTitle->font();
    bold.setBold(true);
    m_failureTitle->setFont(bold);
    setTone(m_failureTitle, Tone::Bad);
    failure->addWidget(m_failureTitle);
    m_failureText = new QLabel(m_failure);
    m_failureText->setWordWrap(true);
    m_failureText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_failureText, ServiceStartPrompt::failureTitle());
    failure->addWidget(m_failureText);
    auto *failureRow = new QHBoxLayout;
    failureRow->setContentsMargins(64, 0, 0, 0);
    failureRow->addWidget(m_failure);
    outer->addLayout(failureRow);
    outer->addStretch(1);

    auto *buttons = new QHBoxLayout;
    m_quit = new QPushButton(ServiceStartPrompt::quitButton(), this);
    name(m_quit, ServiceStartPrompt::quitButton());
    buttons->addWidget(m_quit);
    buttons->addStretch(1);
    m_start = new QPushButton(ServiceStartPrompt::startButton(), this);
    name(m_start, ServiceStartPrompt::startButton(),
         QStringLiteral("Start the background service and wait for it to come up"));
    dimWhenDisabled(m_start);
    buttons->addWidget(m_start);
    outer->addLayout(buttons);

    m_keys = new DialogKeys(this);
    m_keys->setDefaultButton(m_start);
    setTabOrder(m_start, m_quit);
    m_start->setFocus();

    connect(m_start, &QPushButton::clicked, &m_prompt, &ServiceStartPrompt::start);
    connect(m_quit, &QPushButton::clicked, &m_prompt, &ServiceStartPrompt::quit);
    connect(&m_prompt, &ServiceStartPrompt::changed, this, &ServiceStartWindow::rebuild);
    rebuild();
}

void ServiceStartWindow::rebuild() {
    const ServiceStartPrompt::State state = m_prompt.state();
    const bool starting = state == ServiceStartPrompt::State::Starting;
    m_busy->setVisible(starting);
    m_busyText->setText(m_prompt.checks() == 0
                            ? QStringLiteral("Starting the service…")
                            : QStringLiteral("Waiting for the service to load (check %1 of %2)…")
                                  .arg(m_prompt.checks())
                                  .arg(ServiceStartPrompt::maxChecks));
    m_failure->setVisible(state == ServiceStartPrompt::State::Failed);
    m_failureText->setText(m_prompt.failureMessage());
    m_start->setEnabled(state != ServiceStartPrompt::State::Starting &&
                        state != ServiceStartPrompt::State::Loaded);
}

} // namespace quindle::ui
