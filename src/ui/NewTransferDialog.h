#pragma once

#include "transfers/TransferForm.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QStackedWidget;
class QTimeEdit;

namespace quindle {
class RemoteManager;
class SyncManager;
} // namespace quindle

namespace quindle::ui {

// "New Transfer": mode, endpoints, limits and schedule; Add hands the job to the manager.
class NewTransferDialog : public QDialog {
    Q_OBJECT
public:
    NewTransferDialog(SyncManager &manager, RemoteManager &remotes, QWidget *parent = nullptr);

    TransferForm form() const;
    // Adds the transfer, or shows why not and stays open.
    void submit();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    using AddRow = std::function<void(const QString &label, QWidget *field)>;
    void addScheduleRows(const AddRow &addRow);
    // The endpoint field with its "Browse" button: a remote's folder, or its root.
    QWidget *endpointRow(QLineEdit *field);
    void fitHeight();
    void refresh();

    SyncManager &m_manager;
    RemoteManager &m_remotes;
    QComboBox *m_mode = nullptr;
    QLabel *m_modeDescription = nullptr;
    QLineEdit *m_source = nullptr;
    QLineEdit *m_destination = nullptr;
    QLineEdit *m_bandwidth = nullptr;
    QSpinBox *m_transfers = nullptr;
    QCheckBox *m_dryRun = nullptr;
    QCheckBox *m_resync = nullptr;
    QLabel *m_resyncHelp = nullptr;
    QComboBox *m_scheduleKind = nullptr;
    QStackedWidget *m_scheduleFields = nullptr;
    QSpinBox *m_everyN = nullptr;
    QComboBox *m_weekday = nullptr;
    QSpinBox *m_day = nullptr;
    QTimeEdit *m_time = nullptr;
    QLabel *m_nextRun = nullptr;
    QLabel *m_problem = nullptr;
};

} // namespace quindle::ui
