#pragma once

#include <QFrame>
#include <QPointer>
#include <QToolButton>

class QScrollArea;

namespace quindle::ui {

// A small popup window anchored below a button: it closes on Escape or a click outside, and a
// click on its own button closes it instead of opening it again.
class Popover : public QFrame {
    Q_OBJECT
public:
    Popover(QWidget *content, QWidget *anchor);

    QWidget *content() const { return m_content; }
    // The content's own size, within `available`; taller content scrolls.
    QSize fittingSize(const QSize &available) const;
    // Shows below the anchor, kept on its screen, with the first control focused.
    void open();

Q_SIGNALS:
    void opened();
    void closed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *m_content;
    QScrollArea *m_scroll;
    QPointer<QWidget> m_anchor;
};

// A tool button that opens its popover.
class PopoverButton : public QToolButton {
    Q_OBJECT
public:
    PopoverButton(const QString &text, QWidget *content, QWidget *parent = nullptr);

    Popover *popover() const { return m_popover; }

private:
    Popover *m_popover;
};

} // namespace quindle::ui
