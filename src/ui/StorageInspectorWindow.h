#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace quindle {
class StorageScan;
class ServiceRun;
struct ScanRow;
} // namespace quindle

namespace quindle::ui {

// Where the home folder's space goes: the scan's rows as they arrive, largest first, with Move
// to NVMe on the folders that may move. The first showing starts a scan; closing stops it.
class StorageInspectorWindow : public QWidget {
    Q_OBJECT
public:
    // `openMove` brings the move's progress window forward once a move has started.
    StorageInspectorWindow(StorageScan &scan, ServiceRun &move, std::function<void()> openMove,
                           QWidget *parent = nullptr);

    QTreeWidget *table() const { return m_table; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void addRow(const ScanRow &row);
    void reload();
    void rebuildState();
    void askToMove(const ScanRow &row);

    StorageScan &m_scan;
    ServiceRun &m_move;
    std::function<void()> m_openMove;
    bool m_scannedOnce = false;
    int m_rowHeight = 0;
    QTreeWidget *m_table = nullptr;
    QLabel *m_placeholder = nullptr;
    QLabel *m_footer = nullptr;
    QLabel *m_error = nullptr;
    QPushButton *m_rescan = nullptr;
    QPushButton *m_stop = nullptr;
};

} // namespace quindle::ui
