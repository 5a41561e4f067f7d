#pragma once

#include <QObject>
#include <QPointer>
#include <QPushButton>

class QWidget;

namespace quindle::ui {

// Return and Enter press the window's default button, as in a dialog: the windows here are
// plain widgets, which Qt gives no such handling. Keys a control used itself never arrive.
class DialogKeys : public QObject {
    Q_OBJECT
public:
    explicit DialogKeys(QWidget *window);

    // Marks `button` as the default (drawn as such); nullptr for none.
    void setDefaultButton(QPushButton *button);
    QPushButton *defaultButton() const { return m_default; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QPushButton> m_default;
};

} // namespace quindle::ui
