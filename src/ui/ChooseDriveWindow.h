#pragma once

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

class QFormLayout;
class QFrame;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace quindle {
class DriveSelectionModel;
}

namespace quindle::ui {

class DialogKeys;

// "Choose Drive": the drives on the left, the selected one's card, assessment and speed test
// on the right, and the switch with its confirmation. Lists the drives the first time it is
// shown.
class ChooseDriveWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChooseDriveWindow(DriveSelectionModel &model, QWidget *parent = nullptr);

    // The confirmation of "Use This Drive" while it is open.
    QMessageBox *confirmation() const { return m_confirmation; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void rebuildList();
    void rebuildDetail();
    void fillLines(QVBoxLayout *layout, const QStringList &lines, const QString &bullet);
    void askToSwitch();

    DriveSelectionModel &m_model;
    bool m_loadedOnce = false;
    QList<QString> m_listed; // what the list shows, to rebuild it only when that changes

    QListWidget *m_list = nullptr;
    QLabel *m_listStatus = nullptr;
    QLabel *m_noSelection = nullptr;
    QWidget *m_detail = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_badge = nullptr;
    QFormLayout *m_rows = nullptr;
    QFrame *m_cardFrame = nullptr;
    QLabel *m_inspecting = nullptr;
    QLabel *m_verdict = nullptr;
    QVBoxLayout *m_findings = nullptr;
    QPushButton *m_benchmark = nullptr;
    QProgressBar *m_benchmarkBusy = nullptr;
    QVBoxLayout *m_benchmarkLines = nullptr;
    QLabel *m_commitMessage = nullptr;
    QPushButton *m_rescan = nullptr;
    QPushButton *m_use = nullptr;
    DialogKeys *m_keys = nullptr;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace quindle::ui
