#include "ui/TransfersWindow.h"

#include "platform/InstallHints.h"
#include "transfers/SyncManager.h"
#include "ui/NewTransferDialog.h"
#include "ui/Theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

Tone toneFor(JobState state) {
    switch (state) {
    case JobState::Completed:
        return Tone::Good;
    case JobState::Failed:
        return Tone::Bad;
    case JobState::WaitingForDrive:
    case JobState::Paused:
        return Tone::Warning;
    default:
        return Tone::Neutral;
    }
}

QString rowText(const SyncJob &job) {
    return QStringLiteral("%1 · %2\n%3 → %4")
        .arg(label(job.mode), badgeText(job.state), job.source, job.destination);
}

} // namespace

QString progressText(const SyncJob &job) {
    const QLocale locale;
    const JobProgress &p = job.progress;
    QStringList parts;
    parts << QStringLiteral("%1 of %2")
                 .arg(locale.formattedDataSize(p.bytesTransferred),
                      locale.formattedDataSize(p.bytesTotal));
    parts << QStringLiteral("%1 of %2 files").arg(p.filesTransferred).arg(p.filesTotal);
    if (p.speedBytesPerSec > 0)
        parts << locale.formattedDataSize(static_cast<qint64>(p.speedBytesPerSec)) +
                     QStringLiteral("/s");
    if (p.etaSeconds)
        parts << QStringLiteral("%1 s left").arg(*p.etaSeconds);
    if (p.currentFile)
        parts << *p.currentFile;
    if (p.errors > 0)
        parts << (p.errors == 1 ? QStringLiteral("1 error")
                                : QStringLiteral("%1 errors").arg(p.errors));
    return parts.join(QStringLiteral(" · ")) + QLatin1Char('.');
}

TransfersWindow::TransfersWindow(SyncManager &manager, RemoteManager &remotes, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_remotes(remotes) {
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);

    m_banner = card(this);
    auto *bannerRow = new QHBoxLayout(m_banner);
    m_bannerText = new QLabel(m_banner);
    m_bannerText->setWordWrap(true);
    m_bannerText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bannerRow->addWidget(m_bannerText, 1);
    QPushButton *recheck = pushButton(QStringLiteral("I've installed rclone — re-check"), m_banner);
    connect(recheck, &QPushButton::clicked, &m_manager, &SyncManager::refreshRcloneStatus);
    bannerRow->addWidget(recheck);
    layout->addWidget(m_banner);
    m_notice = new QLabel(this);
    m_notice->setWordWrap(true);
    setTone(m_notice, Tone::Warning);
    layout->addWidget(m_notice);

    auto *toolbar = new QHBoxLayout;
    QPushButton *add = pushButton(QStringLiteral("New Transfer…"), this);
    connect(add, &QPushButton::clicked, this, &TransfersWindow::openNewTransfer);
    toolbar->addWidget(add);
    toolbar->addStretch(1);
    m_abandon =
        pushButton(QStringLiteral("Abandon pending"), this, SyncManager::abandonPendingHelp());
    connect(m_abandon, &QPushButton::clicked, &m_manager, &SyncManager::cancelAllWaiting);
    m_checkDrive = pushButton(QStringLiteral("Check drive"), this, SyncManager::checkDriveHelp());
    connect(m_checkDrive, &QPushButton::clicked, &m_manager, &SyncManager::resumeJobsAwaitingDrive);
    m_clear =
        pushButton(QStringLiteral("Clear completed"), this, SyncManager::clearCompletedHelp());
    connect(m_clear, &QPushButton::clicked, &m_manager, &SyncManager::clearFinished);
    for (QPushButton *tool : {m_abandon, m_checkDrive, m_clear}) {
        dimWhenDisabled(tool);
        toolbar->addWidget(tool);
    }
    layout->addLayout(toolbar);

    auto *split = new QSplitter(this);
    m_list = new QListWidget(split);
    m_list->setWordWrap(true);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->setMinimumWidth(textWidth(this, 34));
    name(m_list, QStringLiteral("Transfers"));
    connect(m_list, &QListWidget::currentRowChanged, this, &TransfersWindow::refreshDetail);
    split->addWidget(m_list);
    split->addWidget(detailPane());
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    layout->addWidget(split, 1);

    connect(&m_manager, &SyncManager::jobsChanged, this, [this] {
        refreshList();
        refreshBanner();
    });
    connect(&m_manager, &SyncManager::rcloneStatusChanged, this, &TransfersWindow::refreshBanner);
    refreshList();
    refreshBanner();
}

QWidget *TransfersWindow::detailPane() {
    auto *pane = new QWidget(this);
    auto *column = new QVBoxLayout(pane);
    column->setContentsMargins(12, 0, 0, 0);
    m_empty = caption(QStringLiteral("No transfers yet. Add one with “New Transfer…”."), pane);
    column->addWidget(m_empty);
    m_detail = new QWidget(pane);
    auto *detail = new QVBoxLayout(m_detail);
    detail->setContentsMargins(0, 0, 0, 0);
    auto *titleRow = new QHBoxLayout;
    m_title = heading(QString(), m_detail);
    m_badge = new QLabel(m_detail);
    titleRow->addWidget(m_title, 1);
    titleRow->addWidget(m_badge);
    detail->addLayout(titleRow);
    m_endpoints = new QLabel(m_detail);
    m_endpoints->setWordWrap(true);
    m_endpoints->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detail->addWidget(m_endpoints);
    m_progress = new QProgressBar(m_detail);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    name(m_progress, QStringLiteral("Transfer progress"));
    detail->addWidget(m_progress);
    m_stats = caption(QString(), m_detail);
    detail->addWidget(m_stats);
    m_schedule = caption(QString(), m_detail);
    detail->addWidget(m_schedule);
    m_error = new QLabel(m_detail);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setTone(m_error, Tone::Bad);
    detail->addWidget(m_error);

    auto *buttons = new QHBoxLayout;
    m_pause = pushButton(QStringLiteral("Pause"), m_detail);
    m_resume = pushButton(QStringLiteral("Resume"), m_detail);
    m_cancel = pushButton(QStringLiteral("Cancel"), m_detail);
    m_detailCheckDrive =
        pushButton(QStringLiteral("Check drive"), m_detail, SyncManager::checkDriveHelp());
    m_retry = pushButton(QStringLiteral("Retry"), m_detail);
    m_remove = pushButton(QStringLiteral("Remove"), m_detail);
    connect(m_pause, &QPushButton::clicked, this, [this] { m_manager.pause(selectedId()); });
    connect(m_resume, &QPushButton::clicked, this, [this] { m_manager.resume(selectedId()); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_manager.cancel(selectedId()); });
    connect(m_detailCheckDrive, &QPushButton::clicked, &m_manager,
            &SyncManager::resumeJobsAwaitingDrive);
    connect(m_retry, &QPushButton::clicked, this, [this] {
        if (const std::optional<QUuid> again = m_manager.retry(selectedId()))
            select(*again);
    });
    connect(m_remove, &QPushButton::clicked, this, [this] { m_manager.remove(selectedId()); });
    for (QPushButton *command :
         {m_pause, m_resume, m_cancel, m_detailCheckDrive, m_retry, m_remove})
        buttons->addWidget(command);
    buttons->addStretch(1);
    detail->addLayout(buttons);
    m_log = new QPlainTextEdit(m_detail);
    m_log->setReadOnly(true);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    name(m_log, QStringLiteral("Transfer log"));
    detail->addWidget(m_log, 1);
    column->addWidget(m_detail, 1);
    column->addStretch(0);
    return pane;
}

QUuid TransfersWindow::selectedId() const {
    const QListWidgetItem *item = m_list->currentItem();
    return item ? item->data(Qt::UserRole).toUuid() : QUuid();
}

void TransfersWindow::select(const QUuid &id) {
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->data(Qt::UserRole).toUuid() == id)
            m_list->setCurrentRow(row);
}

void TransfersWindow::openNewTransfer() {
    auto *dialog = new NewTransferDialog(m_manager, m_remotes, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this] {
        if (!m_manager.jobs().isEmpty())
            select(m_manager.jobs().first().id);
    });
    dialog->open();
}

void TransfersWindow::refreshList() {
    const QUuid selected = selectedId();
    const QSignalBlocker quiet(m_list);
    const QList<SyncJob> &jobs = m_manager.jobs();
    while (m_list->count() > jobs.size())
        delete m_list->takeItem(m_list->count() - 1);
    for (qsizetype row = 0; row < jobs.size(); ++row) {
        if (row >= m_list->count())
            m_list->addItem(new QListWidgetItem);
        QListWidgetItem *item = m_list->item(static_cast<int>(row));
        item->setText(rowText(jobs.at(row)));
        item->setData(Qt::UserRole, jobs.at(row).id);
        item->setForeground(toneFor(jobs.at(row).state) == Tone::Neutral
                                ? palette().text()
                                : QBrush(statusColor(toneFor(jobs.at(row).state))));
    }
    int row = 0;
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->data(Qt::UserRole).toUuid() == selected)
            row = i;
    if (m_list->count() > 0)
        m_list->setCurrentRow(row);
    m_abandon->setEnabled(m_manager.hasJobsAwaitingDrive());
    m_checkDrive->setEnabled(m_manager.hasJobsAwaitingDrive());
    m_clear->setEnabled(m_manager.hasFinishedJobs());
    refreshDetail();
}

void TransfersWindow::refreshDetail() {
    const std::optional<SyncJob> job = m_manager.job(selectedId());
    m_empty->setVisible(!job);
    m_detail->setVisible(job.has_value());
    if (!job)
        return;
    m_title->setText(label(job->mode));
    m_badge->setText(badgeText(job->state));
    setTone(m_badge, toneFor(job->state));
    m_endpoints->setText(QStringLiteral("%1  →  %2").arg(job->source, job->destination));
    const JobProgress &p = job->progress;
    m_progress->setValue(p.bytesTotal > 0
                             ? static_cast<int>(p.bytesTransferred * 1000 / p.bytesTotal)
                             : (job->state == JobState::Completed ? 1000 : 0));
    m_stats->setText(progressText(*job));
    QStringList scheduleLines;
    if (!job->schedule.isNone())
        scheduleLines << job->schedule.summary() + QLatin1Char('.');
    if (const QString missed = missedRunsText(*job); !missed.isEmpty())
        scheduleLines << missed;
    if (job->replacedFiles > 0)
        scheduleLines << QStringLiteral(
                             "%1 replaced destination files were kept beside the new ones.")
                             .arg(job->replacedFiles);
    if (job->dryRun)
        scheduleLines << QStringLiteral("Dry run: nothing is changed.");
    m_schedule->setText(scheduleLines.join(QLatin1Char('\n')));
    m_schedule->setVisible(!scheduleLines.isEmpty());
    m_error->setText(job->errorMessage.value_or(QString()));
    m_error->setVisible(job->errorMessage.has_value());

    const JobState state = job->state;
    m_pause->setVisible(state == JobState::Running && job->mode != JobMode::Bisync);
    m_resume->setVisible(state == JobState::Paused);
    m_cancel->setVisible(state == JobState::Running || state == JobState::Paused ||
                         state == JobState::Queued || state == JobState::WaitingForDrive);
    m_detailCheckDrive->setVisible(state == JobState::WaitingForDrive);
    m_retry->setVisible(state == JobState::Failed || state == JobState::Canceled);
    m_remove->setVisible(isFinished(state));

    const QString text = job->log.join(QLatin1Char('\n'));
    if (m_log->toPlainText() != text) {
        QScrollBar *bar = m_log->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        m_log->setPlainText(text);
        if (atEnd)
            bar->setValue(bar->maximum());
    }
}

void TransfersWindow::refreshBanner() {
    const bool missing = m_manager.rcloneProbed() && !m_manager.rcloneInstalled();
    m_banner->setVisible(missing);
    if (missing) {
        const QString command = platform::installCommand(QStringLiteral("rclone"));
        m_bannerText->setText(
            QStringLiteral("<b>rclone is not installed.</b><br>") +
            (command.isEmpty()
                 ? QStringLiteral("Install rclone with your package manager.")
                 : QStringLiteral("Install it with <code>%1</code>, then check again.")
                       .arg(command.toHtmlEscaped())));
    }
    m_notice->setText(m_manager.notice());
    m_notice->setVisible(!m_manager.notice().isEmpty());
}

} // namespace quindle::ui
