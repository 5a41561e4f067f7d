#pragma once

#include <QTimer>
#include <QUuid>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace quindle {
class MoverLog;
}

namespace quindle::ui {

class ToastLabel;

// The mover's live log: every command, rsync line and phase change, in a fixed-width view.
class MoverLogPanel : public QWidget {
    Q_OBJECT
public:
    explicit MoverLogPanel(MoverLog &log, QWidget *parent = nullptr);

    static QString titleText();
    static QString subtitleText();

    QPlainTextEdit *view() const { return m_view; }
    ToastLabel *message() const { return m_message; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void sync();
    void rebuild();

    MoverLog &m_log;
    QStackedWidget *m_pages = nullptr;
    QPlainTextEdit *m_view = nullptr;
    QPushButton *m_copy = nullptr;
    QPushButton *m_clear = nullptr;
    ToastLabel *m_message = nullptr;
    QTimer m_coalesce;
    QUuid m_lastShown; // the newest line in the view
};

} // namespace quindle::ui
