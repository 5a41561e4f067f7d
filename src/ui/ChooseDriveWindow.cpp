#include "ui/ChooseDriveWindow.h"

#include "insight/DriveSelection.h"
#include "ui/Confirmation.h"
#include "ui/DialogKeys.h"
#include "ui/DriveListDelegate.h"
#include "ui/Theme.h"

#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

constexpr int kListColumns = 42;

Tone toneOf(DriveVerdict verdict) {
    switch (verdict) {
    case DriveVerdict::Ok:
        return Tone::Good;
    case DriveVerdict::Warn:
        return Tone::Warning;
    case DriveVerdict::Block:
        break;
    }
    return Tone::Bad;
}

QLabel *subheading(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

void clearLayout(QVBoxLayout *layout) {
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

// The drive's identity as shown: enough to notice that the list changed.
QString listKey(const Drive &drive) {
    return drive.path + QLatin1Char('\n') + drive.name + QLatin1Char('\n') +
           (drive.is_current ? QLatin1Char('1') : QLatin1Char('0'));
}

} // namespace

ChooseDriveWindow::ChooseDriveWindow(DriveSelectionModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model) {
    auto *outer = new QVBoxLayout(this);
    auto *panes = new QHBoxLayout;
    panes->setSpacing(12);

    // Left: the drives.
    auto *left = new QVBoxLayout;
    left->setSpacing(6);
    auto *drivesLabel = subheading(QStringLiteral("Drives"), this);
    left->addWidget(drivesLabel);
    m_list = new QListWidget(this);
    m_list->setItemDelegate(new DriveListDelegate(m_list));
    m_list->setFixedWidth(textWidth(m_list, kListColumns));
    m_list->setUniformItemSizes(true);
    drivesLabel->setBuddy(m_list);
    name(m_list, QStringLiteral("Drives"));
    left->addWidget(m_list, 1);
    m_listStatus = caption(QString(), this);
    m_listStatus->setFixedWidth(textWidth(m_list, kListColumns));
    left->addWidget(m_listStatus);
    panes->addLayout(left);

    // Right: the selected drive.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    auto *pane = new QWidget(scroll);
    auto *paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    m_noSelection = caption(QString(), pane);
    m_noSelection->setAlignment(Qt::AlignCenter);
    paneLayout->addWidget(m_noSelection, 1);

    m_detail = new QWidget(pane);
    auto *detail = new QVBoxLayout(m_detail);
    detail->setContentsMargins(0, 0, 0, 0);
    detail->setSpacing(14);

    m_cardFrame = card(m_detail);
    auto *cardLayout = new QVBoxLayout(m_cardFrame);
    cardLayout->setContentsMargins(14, 12, 14, 12);
    cardLayout->setSpacing(8);
    auto *titleRow = new QHBoxLayout;
    m_title = heading(QString(), m_cardFrame);
    titleRow->addWidget(m_title, 1);
    m_badge = new QLabel(DriveCard::currentBadge, m_cardFrame);
    QFont badgeFont = m_badge->font();
    badgeFont.setBold(true);
    badgeFont.setPointSizeF(badgeFont.pointSizeF() * 0.8);
    m_badge->setFont(badgeFont);
    m_badge->setStyleSheet(
        QStringLiteral("QLabel { background: palette(highlight); color: palette(highlighted-text);"
                       " border-radius: 8px; padding: 2px 8px; }"));
    name(m_badge, QStringLiteral("Current drive"));
    titleRow->addWidget(m_badge, 0, Qt::AlignVCenter);
    cardLayout->addLayout(titleRow);
    m_rows = new QFormLayout;
    m_rows->setHorizontalSpacing(16);
    m_rows->setVerticalSpacing(5);
    m_rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_rows->setLabelAlignment(Qt::AlignLeft | Qt::AlignTop);
    cardLayout->addLayout(m_rows);
    detail->addWidget(m_cardFrame);

    auto *assessment = new QVBoxLayout;
    assessment->setSpacing(4);
    m_inspecting = caption(QString(), m_detail);
    assessment->addWidget(m_inspecting);
    m_verdict = subheading(QString(), m_detail);
    m_verdict->setWordWrap(true);
    assessment->addWidget(m_verdict);
    m_findings = new QVBoxLayout;
    m_findings->setSpacing(3);
    assessment->addLayout(m_findings);
    detail->addLayout(assessment);

    auto *speed = new QVBoxLayout;
    speed->setSpacing(4);
    auto *speedTitle = new QHBoxLayout;
    speedTitle->addWidget(subheading(QStringLiteral("Speed test"), m_detail), 1);
    m_benchmarkBusy = new QProgressBar(m_detail);
    m_benchmarkBusy->setRange(0, 0);
    m_benchmarkBusy->setTextVisible(false);
    m_benchmarkBusy->setMaximumWidth(120);
    name(m_benchmarkBusy, QStringLiteral("Speed test running"));
    speedTitle->addWidget(m_benchmarkBusy);
    m_benchmark = new QPushButton(QStringLiteral("Run Speed Test"), m_detail);
    name(m_benchmark, QStringLiteral("Run Speed Test"),
         QStringLiteral("Write and read a test file on the drive to measure its speed"));
    dimWhenDisabled(m_benchmark);
    speedTitle->addWidget(m_benchmark);
    speed->addLayout(speedTitle);
    m_benchmarkLines = new QVBoxLayout;
    m_benchmarkLines->setSpacing(3);
    speed->addLayout(m_benchmarkLines);
    detail->addLayout(speed);

    m_commitMessage = new QLabel(m_detail);
    m_commitMessage->setWordWrap(true);
    m_commitMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_commitMessage, QStringLiteral("Switch result"));
    detail->addWidget(m_commitMessage);
    detail->addStretch(1);
    paneLayout->addWidget(m_detail, 1);
    scroll->setWidget(pane);
    panes->addWidget(scroll, 1);
    outer->addLayout(panes, 1);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    outer->addWidget(line);

    auto *footer = new QHBoxLayout;
    footer->addWidget(caption(DriveSelectionModel::footerText(), this), 1);
    m_rescan = new QPushButton(QStringLiteral("Rescan drives"), this);
    name(m_rescan, QStringLiteral("Rescan drives"));
    dimWhenDisabled(m_rescan);
    footer->addWidget(m_rescan);
    m_use = new QPushButton(QStringLiteral("Use This Drive"), this);
    name(m_use, QStringLiteral("Use This Drive"),
         QStringLiteral("Make the selected drive the managed external drive"));
    dimWhenDisabled(m_use);
    footer->addWidget(m_use);
    outer->addLayout(footer);

    m_keys = new DialogKeys(this);
    m_keys->setDefaultButton(m_use);
    setTabOrder(m_list, m_benchmark);
    setTabOrder(m_benchmark, m_rescan);
    setTabOrder(m_rescan, m_use);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (QListWidgetItem *item = m_list->item(row))
            m_model.select(item->data(DriveListDelegate::PathRole).toString());
    });
    connect(m_benchmark, &QPushButton::clicked, &m_model, &DriveSelectionModel::runBenchmark);
    connect(m_rescan, &QPushButton::clicked, &m_model, &DriveSelectionModel::load);
    connect(m_use, &QPushButton::clicked, this, &ChooseDriveWindow::askToSwitch);
    connect(&m_model, &DriveSelectionModel::changed, this, &ChooseDriveWindow::rebuild);
    rebuild();
}

void ChooseDriveWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!m_loadedOnce) {
        m_loadedOnce = true;
        m_model.load();
    }
}

void ChooseDriveWindow::rebuild() {
    rebuildList();
    rebuildDetail();
    m_rescan->setEnabled(!m_model.isLoadingDrives());
    m_use->setEnabled(m_model.canSwitch());
    if (m_confirmation && !m_model.isConfirmingSwitch()) {
        QMessageBox *box = m_confirmation;
        m_confirmation = nullptr;
        box->reject();
    }
}

void ChooseDriveWindow::rebuildList() {
    QList<QString> keys;
    for (const Drive &drive : m_model.drives())
        keys << listKey(drive);
    if (keys != m_listed) {
        m_listed = keys;
        const QSignalBlocker quiet(m_list);
        m_list->clear();
        for (const Drive &drive : m_model.drives())
            m_list->addItem(DriveListDelegate::makeItem(drive));
    }
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->data(DriveListDelegate::PathRole).toString() ==
            m_model.selectedID()) {
            if (m_list->currentRow() != row) {
                const QSignalBlocker quiet(m_list);
                m_list->setCurrentRow(row);
            }
            break;
        }
    }

    if (m_model.isLoadingDrives())
        m_listStatus->setText(QStringLiteral("Looking for drives…"));
    else if (m_model.drives().isEmpty())
        m_listStatus->setText(QStringLiteral("No external drives were found."));
    else
        m_listStatus->clear();
    m_listStatus->setVisible(!m_listStatus->text().isEmpty());
}

void ChooseDriveWindow::rebuildDetail() {
    const std::optional<DriveCard> driveCard = m_model.selectedCard();
    m_detail->setVisible(driveCard.has_value());
    m_noSelection->setVisible(!driveCard);
    m_noSelection->setText(m_model.isLoadingDrives() ? QString()
                                                     : QStringLiteral("Select a drive to see "
                                                                      "its details."));
    if (!driveCard)
        return;

    m_title->setText(driveCard->title);
    m_badge->setVisible(driveCard->current);
    while (m_rows->rowCount() > 0)
        m_rows->removeRow(0);
    for (const DriveCard::Row &row : driveCard->rows) {
        auto *label = new QLabel(row.label, m_cardFrame);
        label->setForegroundRole(QPalette::PlaceholderText);
        auto *value = new QLabel(row.value, m_cardFrame);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setWordWrap(true);
        name(value, row.label);
        m_rows->addRow(label, value);
    }

    const QString placeholder = m_model.detailPlaceholder();
    m_inspecting->setText(placeholder);
    m_inspecting->setVisible(!placeholder.isEmpty());
    const std::optional<Assessment> &assessment = m_model.assessment();
    m_verdict->setVisible(assessment.has_value());
    clearLayout(m_findings);
    if (assessment) {
        m_verdict->setText(m_model.verdictTitle());
        setTone(m_verdict, toneOf(assessment->verdict));
        fillLines(m_findings, assessment->reasons, QStringLiteral("✕"));
        fillLines(m_findings, assessment->warnings, QStringLiteral("⚠"));
    }

    m_benchmark->setEnabled(m_model.canBenchmark());
    m_benchmarkBusy->setVisible(m_model.isBenchmarking());
    clearLayout(m_benchmarkLines);
    const QStringList speed = m_model.benchmarkText();
    if (m_model.isBenchmarking()) {
        fillLines(m_benchmarkLines, {QStringLiteral("Testing speed…")}, QString());
    } else if (speed.isEmpty()) {
        fillLines(m_benchmarkLines,
                  {QStringLiteral("Measures read and write speed with a test file on the "
                                  "drive.")},
                  QString());
        static_cast<QLabel *>(m_benchmarkLines->itemAt(0)->widget())
            ->setForegroundRole(QPalette::PlaceholderText);
    } else {
        fillLines(m_benchmarkLines, speed, QString());
        if (!m_model.benchmarkError().isEmpty())
            setTone(static_cast<QLabel *>(m_benchmarkLines->itemAt(0)->widget()), Tone::Bad);
    }

    QString commit = m_model.commitMessage();
    if (m_model.isCommitting())
        commit = QStringLiteral("Switching drives…");
    m_commitMessage->setText(commit);
    m_commitMessage->setVisible(!commit.isEmpty());
}

void ChooseDriveWindow::fillLines(QVBoxLayout *layout, const QStringList &lines,
                                  const QString &bullet) {
    QWidget *owner = layout->parentWidget() ? layout->parentWidget() : m_detail;
    for (const QString &text : lines) {
        auto *label =
            new QLabel(bullet.isEmpty() ? text : bullet + QStringLiteral("  ") + text, owner);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label);
    }
}

void ChooseDriveWindow::askToSwitch() {
    m_model.askToSwitch();
    if (!m_model.isConfirmingSwitch() || m_confirmation)
        return;

    m_confirmation = openConfirmation(this,
                                      {QStringLiteral("Use This Drive"),
                                       m_model.confirmationTitle(),
                                       m_model.confirmationMessage(),
                                       QStringLiteral("Use This Drive"),
                                       {},
                                       m_model.confirmIsDestructive()},
                                      [this](bool confirmed) {
                                          m_confirmation = nullptr;
                                          if (confirmed)
                                              m_model.confirmSwitch();
                                          else
                                              m_model.cancelSwitch();
                                      });
}

} // namespace quindle::ui
