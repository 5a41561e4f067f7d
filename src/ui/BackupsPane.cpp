#include "ui/BackupsPane.h"

#include "insight/BackupStore.h"
#include "ui/Confirmation.h"
#include "ui/ElidedLabel.h"
#include "ui/Theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quindle::ui {

BackupsPane::BackupsPane(BackupStore &store, QWidget *parent)
    : QWidget(parent)
    , m_store(store) {
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading(QStringLiteral("Backups"), this));
    layout->addWidget(caption(QStringLiteral("The configuration, state and Transfers history, "
                                             "copied to the NVMe. Credentials stay on this "
                                             "computer."),
                              this));
    auto *actions = new QHBoxLayout;
    m_backUp = new QPushButton(QStringLiteral("Back Up Now"), this);
    name(m_backUp, QStringLiteral("Back Up Now"),
         QStringLiteral("Copy the configuration and state to the NVMe now"));
    dimWhenDisabled(m_backUp);
    connect(m_backUp, &QPushButton::clicked, &m_store, &BackupStore::runBackupNow);
    actions->addWidget(m_backUp);
    actions->addStretch(1);
    layout->addLayout(actions);
    m_result = new QLabel(this);
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name(m_result, QStringLiteral("Backup result"));
    layout->addWidget(m_result);
    m_empty = caption(QString(), this);
    layout->addWidget(m_empty);
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(6);
    layout->addLayout(m_rows);
    layout->addStretch(1);

    connect(&m_store, &BackupStore::changed, this, &BackupsPane::rebuild);
    m_store.refresh();
}

void BackupsPane::rebuild() {
    m_backUp->setEnabled(!m_store.isBackingUpNow());
    m_backUp->setText(m_store.isBackingUpNow() ? QStringLiteral("Backing Up…")
                                               : QStringLiteral("Back Up Now"));
    const std::optional<QString> &result = m_store.lastManualResult();
    m_result->setVisible(result.has_value());
    m_result->setText(result.value_or(QString()));
    setTone(m_result, m_store.lastManualSucceeded() ? Tone::Good : Tone::Bad);
    m_empty->setText(m_store.emptyText());
    m_empty->setVisible(m_store.records().isEmpty());

    while (QLayoutItem *item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const BackupRecord &record : m_store.records()) {
        QFrame *row = card(this);
        auto *line = new QHBoxLayout(row);
        line->setContentsMargins(10, 6, 10, 6);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto *date = new QLabel(record.dateText(), row);
        name(date, QStringLiteral("Backup date"));
        texts->addWidget(date);
        auto *host = new ElidedLabel(Qt::ElideRight, row);
        host->setFullText(
            QStringLiteral("Host: ") + record.host.value_or(QStringLiteral("unknown")) +
            (record.version ? QStringLiteral(" · service version ") + *record.version : QString()));
        host->setForegroundRole(QPalette::PlaceholderText);
        texts->addWidget(host);
        line->addLayout(texts, 1);
        auto *restore = new QPushButton(QStringLiteral("Restore…"), row);
        name(restore, QStringLiteral("Restore ") + record.dateText(),
             QStringLiteral("Put this backup in place of the current configuration and state"));
        connect(restore, &QPushButton::clicked, this, [this, record] { askToRestore(record); });
        line->addWidget(restore);
        m_rows->addWidget(row);
    }
}

void BackupsPane::askToRestore(const BackupRecord &record) {
    const QString title = QStringLiteral("Restore from ") + record.dateText();
    openConfirmation(this,
                     {.windowTitle = title,
                      .question = title,
                      .details = BackupStore::restoreConfirmationText(record),
                      .confirmLabel = QStringLiteral("Restore"),
                      .confirmHint = {}},
                     [this, record](bool confirmed) {
                         if (!confirmed)
                             return;
                         const std::optional<QString> error = m_store.restore(record);
                         m_result->setVisible(true);
                         m_result->setText(error.value_or(BackupStore::restoredText(record)));
                         setTone(m_result, error ? Tone::Bad : Tone::Good);
                     });
}

} // namespace quindle::ui
