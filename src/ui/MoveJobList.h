#pragma once

#include "mover/MoveManifest.h"

#include <QHash>
#include <QUuid>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace quindle {
class LocalFolderMover;
}

namespace quindle::ui {

class ElidedLabel;

// One move of the queue: what moves where, its status, its progress and its cancel button.
class MoveJobRow : public QWidget {
    Q_OBJECT
public:
    explicit MoveJobRow(QWidget *parent = nullptr);
    void present(const MoveJob &job);

    QString statusText() const;
    QToolButton *cancelButton() const { return m_cancel; }

Q_SIGNALS:
    void cancelRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ElidedLabel *m_name = nullptr;
    ElidedLabel *m_detail = nullptr;
    ElidedLabel *m_status = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_percent = nullptr;
    QToolButton *m_cancel = nullptr;
    std::optional<MoveJob> m_shown;
};

// The mover's queue with its three queue-wide actions.
class MoveJobList : public QWidget {
    Q_OBJECT
public:
    explicit MoveJobList(LocalFolderMover &mover, QWidget *parent = nullptr);

    MoveJobRow *row(const QUuid &id) const { return m_rows.value(id); }
    static QString cancelAllHelp();
    static QString clearFinishedHelp();

private:
    void present();
    void presentPause();

    LocalFolderMover &m_mover;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_list = nullptr;
    QVBoxLayout *m_listLayout = nullptr;
    QLabel *m_empty = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_clearFinished = nullptr;
    QPushButton *m_cancelAll = nullptr;
    QHash<QUuid, MoveJobRow *> m_rows;
};

} // namespace quindle::ui
