#include "ui/StorageInspectorWindow.h"

#include "insight/ServiceRun.h"
#include "insight/StorageScan.h"
#include "ui/Confirmation.h"
#include "ui/Theme.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quindle::ui {

namespace {

enum Column { SizeColumn, FolderColumn, ActionColumn };

// The badge and the button of a row that may move.
QWidget *actionCell(const ScanRow &row, QWidget *parent, std::function<void()> move) {
    auto *cell = new QWidget(parent);
    auto *layout = new QHBoxLayout(cell);
    layout->setContentsMargins(4, 1, 8, 1);
    layout->setSpacing(8);
    auto *badge = new QLabel(QStringLiteral("ACTIONABLE"), cell);
    QFont small = badge->font();
    small.setBold(true);
    small.setPointSizeF(small.pointSizeF() * 0.85);
    badge->setFont(small);
    setTone(badge, Tone::Good);
    // Inside a view a label draws in the view's text role, which the tone does not set.
    badge->setForegroundRole(QPalette::WindowText);
    layout->addWidget(badge);
    auto *button = new QPushButton(QStringLiteral("Move to NVMe"), cell);
    name(button, QStringLiteral("Move to NVMe"), row.path);
    QObject::connect(button, &QPushButton::clicked, cell, std::move(move));
    layout->addWidget(button);
    layout->addStretch(1);
    return cell;
}

} // namespace

StorageInspectorWindow::StorageInspectorWindow(StorageScan &scan, ServiceRun &move,
                                               std::function<void()> openMove, QWidget *parent)
    : QWidget(parent)
    , m_scan(scan)
    , m_move(move)
    , m_openMove(std::move(openMove)) {
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addWidget(
        heading(QStringLiteral("Find out where your disk space actually lives."), this));

    m_table = new QTreeWidget(this);
    m_table->setRootIsDecorated(false);
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setHeaderLabels({QStringLiteral("Size"), QStringLiteral("Folder"), QString()});
    m_table->header()->setStretchLastSection(false);
    m_table->header()->setSectionResizeMode(SizeColumn, QHeaderView::ResizeToContents);
    m_table->header()->setSectionResizeMode(FolderColumn, QHeaderView::Stretch);
    m_table->header()->setSectionResizeMode(ActionColumn, QHeaderView::ResizeToContents);
    m_table->setTextElideMode(Qt::ElideMiddle);
    name(m_table, QStringLiteral("Folders by size"));
    name(m_table->header(), QStringLiteral("Columns"));
    m_rowHeight = QPushButton(QStringLiteral("Move to NVMe")).sizeHint().height() + 2;
    layout->addWidget(m_table, 1);

    m_placeholder = new QLabel(StorageScan::startingText(), this);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_placeholder);
    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    setTone(m_error, Tone::Bad);
    layout->addWidget(m_error);

    auto *footer = new QHBoxLayout;
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_footer = new QLabel(this);
    m_footer->setWordWrap(true);
    name(m_footer, QStringLiteral("Scan progress"));
    texts->addWidget(m_footer);
    texts->addWidget(caption(StorageScan::actionableHint(), this));
    footer->addLayout(texts, 1);
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    name(m_stop, QStringLiteral("Stop"), QStringLiteral("Stop the scan"));
    connect(m_stop, &QPushButton::clicked, &m_scan, &StorageScan::cancel);
    footer->addWidget(m_stop, 0, Qt::AlignTop);
    m_rescan = new QPushButton(QStringLiteral("Scan Again"), this);
    name(m_rescan, QStringLiteral("Scan Again"), QStringLiteral("Measure the home folder again"));
    connect(m_rescan, &QPushButton::clicked, &m_scan, &StorageScan::start);
    footer->addWidget(m_rescan, 0, Qt::AlignTop);
    layout->addLayout(footer);

    connect(&m_scan, &StorageScan::rowAdded, this, &StorageInspectorWindow::addRow);
    connect(&m_scan, &StorageScan::changed, this, &StorageInspectorWindow::rebuildState);
    connect(&m_move, &ServiceRun::finished, this, [this] {
        // A moved folder is a link now; what the home folder holds has changed.
        if (m_move.succeeded())
            m_scan.start();
    });
    reload();
}

void StorageInspectorWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!m_scannedOnce) {
        m_scannedOnce = true;
        if (!m_scan.isRunning() && !m_scan.isDone())
            m_scan.start();
    }
}

void StorageInspectorWindow::closeEvent(QCloseEvent *event) {
    m_scan.cancel();
    QWidget::closeEvent(event);
}

void StorageInspectorWindow::reload() {
    m_table->clear();
    for (const ScanRow &row : m_scan.rows())
        addRow(row);
    rebuildState();
}

void StorageInspectorWindow::addRow(const ScanRow &row) {
    const qsizetype index = m_scan.rows().indexOf(row);
    auto *item = new QTreeWidgetItem;
    item->setText(SizeColumn, scanSizeText(row.sizeBytes));
    item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(FolderColumn, row.label);
    item->setToolTip(FolderColumn, row.path);
    // Every row as tall as one with a button, so that the list keeps one rhythm.
    item->setSizeHint(FolderColumn, QSize(0, m_rowHeight));
    m_table->insertTopLevelItem(static_cast<int>(std::max<qsizetype>(index, 0)), item);
    if (row.actionable)
        m_table->setItemWidget(item, ActionColumn,
                               actionCell(row, m_table, [this, row] { askToMove(row); }));
}

void StorageInspectorWindow::rebuildState() {
    // A new scan starts with no rows: the table follows.
    if (m_scan.rows().isEmpty() && m_table->topLevelItemCount() > 0)
        m_table->clear();
    const bool empty = m_scan.rows().isEmpty();
    m_placeholder->setVisible(empty && m_scan.isRunning());
    m_table->setVisible(!empty);
    m_footer->setText(m_scan.phase().isEmpty() ? QString() : m_scan.footerText());
    const QString error = m_scan.lastError().value_or(QString());
    m_error->setText(error);
    m_error->setVisible(!error.isEmpty());
    m_stop->setVisible(m_scan.isRunning());
    m_rescan->setVisible(!m_scan.isRunning());
}

void StorageInspectorWindow::askToMove(const ScanRow &row) {
    openConfirmation(this,
                     {.windowTitle = QStringLiteral("Move to NVMe?"),
                      .question = QStringLiteral("Move to NVMe?"),
                      .details = row.path,
                      .confirmLabel = QStringLiteral("Move"),
                      .confirmHint = {},
                      .destructive = false},
                     [this, path = row.path](bool confirmed) {
                         if (!confirmed)
                             return;
                         m_move.start(path);
                         if (m_openMove)
                             m_openMove();
                     });
}

} // namespace quindle::ui
