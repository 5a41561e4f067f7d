#include "ui/MoveJobList.h"

#include "core/PathText.h"
#include "mover/LocalFolderMover.h"
#include "tier/TierOperations.h"
#include "tier/TierTypes.h"
#include "ui/ElidedLabel.h"
#include "ui/Theme.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quindle::ui {

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kStatusColumns = 43;

} // namespace

MoveJobRow::MoveJobRow(QWidget *parent)
    : QWidget(parent) {
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);

    m_name = new ElidedLabel(Qt::ElideRight, this);
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    m_detail = new ElidedLabel(Qt::ElideMiddle, this);
    m_detail->setForegroundRole(QPalette::PlaceholderText);
    m_status = new ElidedLabel(Qt::ElideRight, this);
    // The list's base background would otherwise pick the text role and lose the tone.
    m_status->setForegroundRole(QPalette::WindowText);
    m_status->setFixedWidth(textWidth(m_status, kStatusColumns));
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, kProgressSteps);
    m_progress->setTextVisible(false);
    m_progress->setFixedWidth(textWidth(m_status, kStatusColumns));
    m_progress->setMaximumHeight(8);
    m_percent = new QLabel(this);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_percent->setMinimumWidth(m_percent->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    m_cancel = new QToolButton(this);
    m_cancel->setText(QStringLiteral("Cancel"));
    m_cancel->setFocusPolicy(Qt::StrongFocus);
    dimWhenDisabled(m_cancel);

    grid->addWidget(m_name, 0, 0);
    grid->addWidget(m_detail, 1, 0);
    grid->addWidget(m_status, 0, 1);
    grid->addWidget(m_progress, 1, 1, Qt::AlignVCenter);
    grid->addWidget(m_percent, 1, 2);
    grid->addWidget(m_cancel, 0, 3, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(0, 1);
    connect(m_cancel, &QToolButton::clicked, this, &MoveJobRow::cancelRequested);
}

void MoveJobRow::present(const MoveJob &job) {
    if (m_shown == job)
        return;
    m_shown = job;
    const MoveManifest &m = job.manifest;
    const QString itemName = lastPathComponent(m.src);
    m_name->setFullText(itemName);
    // A failure says why where the destination would be; the destination stays a tooltip.
    const QString route = tildePath(m.src) + QStringLiteral("  →  ") + tildePath(m.dstParent);
    m_detail->setFullText(m.phase == MovePhase::Failed && m.lastError ? *m.lastError : route);
    m_detail->setForegroundRole(m.phase == MovePhase::Failed ? QPalette::WindowText
                                                             : QPalette::PlaceholderText);
    m_status->setFullText(job.statusLabel());
    setTone(m_status, toneFor(m.phase));
    const int steps =
        std::clamp(static_cast<int>(m.fractionAtLastWrite * kProgressSteps), 0, kProgressSteps);
    m_progress->setValue(steps);
    m_percent->setText(QStringLiteral("%1%").arg(steps / 10));
    const bool active = !isTerminal(m.phase);
    m_cancel->setEnabled(active);
    name(m_cancel, QStringLiteral("Cancel ") + itemName, QStringLiteral("Cancel this move"));
    name(m_progress, QStringLiteral("Progress of ") + itemName);
    setAccessibleName(itemName + QStringLiteral(": ") + job.statusLabel());
    setToolTip(m.lastError.value_or(route));
}

QString MoveJobRow::statusText() const {
    return m_status->fullText();
}

void MoveJobRow::paintEvent(QPaintEvent *event) {
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Midlight));
    painter.drawLine(8, height() - 1, width() - 8, height() - 1);
}

MoveJobList::MoveJobList(LocalFolderMover &mover, QWidget *parent)
    : QWidget(parent)
    , m_mover(mover) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto *header = new QHBoxLayout;
    header->addWidget(heading(QStringLiteral("Moves"), this));
    header->addStretch(1);
    m_pause = new QPushButton(this);
    dimWhenDisabled(m_pause);
    m_clearFinished = new QPushButton(QStringLiteral("Clear finished"), this);
    name(m_clearFinished, QStringLiteral("Clear finished"), clearFinishedHelp());
    dimWhenDisabled(m_clearFinished);
    m_cancelAll = new QPushButton(QStringLiteral("Cancel all"), this);
    name(m_cancelAll, QStringLiteral("Cancel all"), cancelAllHelp());
    dimWhenDisabled(m_cancelAll);
    header->addWidget(m_pause);
    header->addWidget(m_clearFinished);
    header->addWidget(m_cancelAll);
    layout->addLayout(header);

    auto *frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setBackgroundRole(QPalette::Base);
    frame->setAutoFillBackground(true);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    m_scroll = new QScrollArea(frame);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list = new QWidget(m_scroll);
    m_list->setBackgroundRole(QPalette::Base);
    m_listLayout = new QVBoxLayout(m_list);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_listLayout->setSpacing(0);
    m_listLayout->addStretch(1);
    m_scroll->setWidget(m_list);
    frameLayout->addWidget(m_scroll);
    m_empty = caption(TierOperations::emptyQueueText(), frame);
    m_empty->setAlignment(Qt::AlignCenter);
    frameLayout->addWidget(m_empty);
    layout->addWidget(frame, 1);

    connect(m_pause, &QPushButton::clicked, this, [this] {
        if (m_mover.isPaused())
            m_mover.resume();
        else
            m_mover.pause();
    });
    connect(m_clearFinished, &QPushButton::clicked, &m_mover, &LocalFolderMover::clearFinished);
    connect(m_cancelAll, &QPushButton::clicked, &m_mover, &LocalFolderMover::cancelAll);
    connect(&m_mover, &LocalFolderMover::jobsChanged, this, &MoveJobList::present);
    connect(&m_mover, &LocalFolderMover::pausedChanged, this, &MoveJobList::presentPause);
    present();
    presentPause();
}

QString MoveJobList::cancelAllHelp() {
    return QStringLiteral("Cancel every in-flight / queued / waiting-for-drive move. Source data "
                          "is never deleted before a successful cleanup, so cancelling is safe.");
}

QString MoveJobList::clearFinishedHelp() {
    return QStringLiteral("Clear completed / failed / cancelled rows");
}

void MoveJobList::present() {
    const QList<MoveJob> &jobs = m_mover.jobs();
    QHash<QUuid, MoveJobRow *> kept;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const QUuid id = jobs.at(i).id();
        MoveJobRow *row = m_rows.take(id);
        if (!row) {
            row = new MoveJobRow(m_list);
            connect(row, &MoveJobRow::cancelRequested, this, [this, id] { m_mover.cancel(id); });
        }
        if (m_listLayout->indexOf(row) != i) {
            m_listLayout->removeWidget(row);
            m_listLayout->insertWidget(static_cast<int>(i), row);
        }
        row->present(jobs.at(i));
        kept.insert(id, row);
    }
    for (MoveJobRow *gone : std::as_const(m_rows)) {
        m_listLayout->removeWidget(gone);
        gone->hide();
        gone->deleteLater(); // its cancel button may be the sender
    }
    m_rows = kept;

    const bool empty = jobs.isEmpty();
    m_scroll->setVisible(!empty);
    m_empty->setVisible(empty);
    const auto terminal = [](const MoveJob &job) { return isTerminal(job.manifest.phase); };
    m_cancelAll->setEnabled(!std::all_of(jobs.cbegin(), jobs.cend(), terminal));
    m_clearFinished->setEnabled(std::any_of(jobs.cbegin(), jobs.cend(), terminal));
}

void MoveJobList::presentPause() {
    const bool paused = m_mover.isPaused();
    m_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    name(m_pause, m_pause->text(),
         paused ? QStringLiteral("Start queued moves again")
                : QStringLiteral("Start no new moves; steps already running finish"));
}

} // namespace quindle::ui
