#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace quindle {
class BackupStore;
struct BackupRecord;
} // namespace quindle

namespace quindle::ui {

// Settings → Backups: the backups of the configuration and state on the NVMe, Back Up Now, and
// a restore of any of them.
class BackupsPane : public QWidget {
    Q_OBJECT
public:
    explicit BackupsPane(BackupStore &store, QWidget *parent = nullptr);

private:
    void rebuild();
    void askToRestore(const BackupRecord &record);

    BackupStore &m_store;
    QPushButton *m_backUp = nullptr;
    QLabel *m_result = nullptr;
    QLabel *m_empty = nullptr;
    QVBoxLayout *m_rows = nullptr;
};

} // namespace quindle::ui
