#pragma once

#include "mover/MoveManifest.h"

#include <QList>
#include <QTimer>
#include <QWidget>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace quindle {
class LocalFolderMover;
class TierOperations;
} // namespace quindle

namespace quindle::ui {

// Every move the mover keeps a manifest of, newest first, with revert for completed moves and
// delete.
class ManifestsPanel : public QWidget {
    Q_OBJECT
public:
    ManifestsPanel(LocalFolderMover &mover, TierOperations &operations, QWidget *parent = nullptr);

    static QString helpText();
    static QString emptyText();
    static QString revertHelp();
    static QString deleteHelp();

    // As last shown.
    const QList<MoveManifest> &manifests() const { return m_manifests; }

Q_SIGNALS:
    // The rows show the mover's jobs.
    void presented();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void present();

    LocalFolderMover &m_mover;
    TierOperations &m_operations;
    QList<MoveManifest> m_manifests;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_rows = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    QLabel *m_empty = nullptr;
    QTimer m_coalesce;
};

} // namespace quindle::ui
