#include "ui/ManifestsPanel.h"

#include "core/PathText.h"
#include "mover/LocalFolderMover.h"
#include "tier/TierOperations.h"
#include "tier/TierTypes.h"
#include "ui/ElidedLabel.h"
#include "ui/Theme.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace quindle::ui {

ManifestsPanel::ManifestsPanel(LocalFolderMover &mover, TierOperations &operations, QWidget *parent)
    : QWidget(parent)
    , m_mover(mover)
    , m_operations(operations) {
    setFixedWidth(textWidth(this, 80));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(heading(QStringLiteral("Move manifests"), this));
    layout->addWidget(caption(helpText(), this));
    layout->addSpacing(4);

    const RowList list = rowList(this, 0);
    m_scroll = list.scroll;
    m_rows = list.content;
    m_rowsLayout = list.rows;
    layout->addWidget(m_scroll);

    m_empty = caption(emptyText(), this);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setMinimumHeight(48);
    layout->addWidget(m_empty);

    // Progress lines change the jobs many times a second; the rows are rebuilt twice a second at
    // most.
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(500);
    connect(&m_coalesce, &QTimer::timeout, this, &ManifestsPanel::present);
    connect(&m_mover, &LocalFolderMover::jobsChanged, this, [this] {
        if (isVisible() && !m_coalesce.isActive())
            m_coalesce.start();
    });
    present();
}

QString ManifestsPanel::helpText() {
    return QStringLiteral("View all move manifests on disk (read-only). Includes failed and "
                          "waiting-for-drive jobs.");
}

QString ManifestsPanel::emptyText() {
    return QStringLiteral("No manifests on disk.");
}

QString ManifestsPanel::revertHelp() {
    return QStringLiteral("Move this folder back to its original location. Refuses if anything "
                          "new exists at the source path.");
}

QString ManifestsPanel::deleteHelp() {
    return QStringLiteral("Delete this manifest from disk. Doesn't touch the moved data.");
}

void ManifestsPanel::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    present();
}

void ManifestsPanel::present() {
    m_manifests.clear();
    for (const MoveJob &job : m_mover.jobs())
        m_manifests << job.manifest;
    sortNewestFirst(m_manifests);
    while (QLayoutItem *item = m_rowsLayout->takeAt(0)) {
        if (QWidget *old = item->widget()) {
            old->hide();
            old->deleteLater(); // the pressed button may be among them
        }
        delete item;
    }
    for (const MoveManifest &manifest : std::as_const(m_manifests)) {
        auto *row = new QWidget(m_rows);
        auto *grid = new QGridLayout(row);
        grid->setContentsMargins(0, 6, 0, 6);
        grid->setHorizontalSpacing(8);
        grid->setVerticalSpacing(1);

        const QString itemName = lastPathComponent(manifest.src);
        auto *title = new ElidedLabel(Qt::ElideRight, row);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        title->setFullText(itemName);
        auto *phase = new QLabel(label(manifest.phase), row);
        phase->setForegroundRole(QPalette::WindowText);
        setTone(phase, toneFor(manifest.phase));
        if (manifest.lastError)
            phase->setToolTip(*manifest.lastError);
        auto *route = new ElidedLabel(Qt::ElideMiddle, row);
        route->setForegroundRole(QPalette::PlaceholderText);
        route->setFullText(tildePath(manifest.src) + QStringLiteral("  →  ") +
                           tildePath(manifest.finalDst));

        auto *revert = new QPushButton(QStringLiteral("Revert"), row);
        name(revert, QStringLiteral("Revert ") + itemName, revertHelp());
        revert->setEnabled(manifest.phase == MovePhase::Done);
        dimWhenDisabled(revert);
        auto *remove = new QPushButton(QStringLiteral("Delete"), row);
        name(remove, QStringLiteral("Delete manifest of ") + itemName, deleteHelp());
        // The mover keeps the manifest of a move it is still running.
        remove->setEnabled(isTerminal(manifest.phase));
        dimWhenDisabled(remove);

        grid->addWidget(title, 0, 0);
        grid->addWidget(phase, 0, 1, Qt::AlignRight);
        grid->addWidget(route, 1, 0, 1, 2);
        grid->addWidget(revert, 0, 2, 2, 1, Qt::AlignVCenter);
        grid->addWidget(remove, 0, 3, 2, 1, Qt::AlignVCenter);
        grid->setColumnStretch(0, 1);
        if (m_rowsLayout->count() > 0) {
            auto *rule = new QFrame(m_rows);
            rule->setFrameShape(QFrame::HLine);
            rule->setFrameShadow(QFrame::Plain);
            rule->setForegroundRole(QPalette::Midlight);
            m_rowsLayout->addWidget(rule);
        }
        m_rowsLayout->addWidget(row);

        connect(revert, &QPushButton::clicked, this,
                [this, manifest] { m_operations.revert(manifest); });
        connect(remove, &QPushButton::clicked, this,
                [this, id = manifest.id] { m_mover.deleteManifest(id); });
    }
    const bool empty = m_manifests.isEmpty();
    m_scroll->setVisible(!empty);
    m_empty->setVisible(empty);
    // Up to six rows (and the rules between them) before the list scrolls. New rows are not
    // shown yet, so the layout would not count them.
    int height = 0;
    for (int i = 0; i < std::min(m_rowsLayout->count(), 11); ++i)
        height += m_rowsLayout->itemAt(i)->widget()->sizeHint().height();
    m_scroll->setFixedHeight(height + 2);
    updateGeometry(); // the popover caches this panel's size
    if (QWidget *popup = window(); popup != this && popup->isVisible())
        popup->adjustSize();
    Q_EMIT presented();
}

} // namespace quindle::ui
