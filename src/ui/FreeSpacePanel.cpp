#include "ui/FreeSpacePanel.h"

#include "insight/FreeSpaceResult.h"
#include "insight/ServiceRun.h"
#include "ui/Theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quindle::ui {

FreeSpacePanel::FreeSpacePanel(ServiceRun &run, FreeSpaceResult &result,
                               std::function<bool()> paused, std::function<void()> openProgress,
                               QWidget *parent)
    : QWidget(parent)
    , m_run(run)
    , m_result(result)
    , m_paused(std::move(paused))
    , m_openProgress(std::move(openProgress)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    m_banner = card(this);
    auto *banner = new QHBoxLayout(m_banner);
    banner->setContentsMargins(10, 8, 10, 8);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_headline = new QLabel(m_banner);
    m_headline->setWordWrap(true);
    QFont bold = m_headline->font();
    bold.setBold(true);
    m_headline->setFont(bold);
    name(m_headline, QStringLiteral("Free Up Space result"));
    texts->addWidget(m_headline);
    m_details = caption(QString(), m_banner);
    texts->addWidget(m_details);
    banner->addLayout(texts, 1);
    auto *dismiss = new QPushButton(QStringLiteral("Dismiss"), m_banner);
    name(dismiss, QStringLiteral("Dismiss"), QStringLiteral("Hide this result until the next run"));
    connect(dismiss, &QPushButton::clicked, &m_result, &FreeSpaceResult::acknowledge);
    banner->addWidget(dismiss, 0, Qt::AlignTop);
    layout->addWidget(m_banner);

    m_button = new QPushButton(QStringLiteral("Free Up Space"), this);
    dimWhenDisabled(m_button);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (!m_run.isRunning())
            m_run.start();
        if (m_openProgress)
            m_openProgress();
    });
    layout->addWidget(m_button);
    m_state = caption(QString(), this);
    layout->addWidget(m_state);

    connect(&m_run, &ServiceRun::runningChanged, this, &FreeSpacePanel::rebuild);
    connect(&m_result, &FreeSpaceResult::changed, this, &FreeSpacePanel::rebuild);
    rebuild();
}

QString FreeSpacePanel::hint() {
    return QStringLiteral("Relocate rule-matched paths to NVMe and clean app caches");
}

QString FreeSpacePanel::runningHint() {
    return QStringLiteral("Already running — click to see live progress");
}

QString FreeSpacePanel::pausedHint() {
    return QStringLiteral("Resume the service first to run actions");
}

void FreeSpacePanel::rebuild() {
    const bool running = m_run.isRunning();
    const bool paused = m_paused && m_paused();
    m_button->setText(running ? QStringLiteral("Free Up Space · Running")
                              : QStringLiteral("Free Up Space"));
    m_button->setEnabled(running || !paused);
    const QString hintText = running ? runningHint() : paused ? pausedHint() : hint();
    name(m_button, QStringLiteral("Free Up Space"), hintText);
    m_button->setToolTip(hintText);
    m_state->setText(hintText);

    m_banner->setVisible(m_result.hasUnseen() && !running);
    if (const std::optional<FreeSpaceSummary> &summary = m_result.latest()) {
        m_headline->setText(summary->headline());
        m_details->setText(QStringLiteral("%1 GB free now, %2 GB before.")
                               .arg(summary->afterFreeGB)
                               .arg(summary->beforeFreeGB));
    }
}

} // namespace quindle::ui
