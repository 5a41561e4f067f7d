#include "ui/Popover.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace quindle::ui {

Popover::Popover(QWidget *content, QWidget *anchor)
    : QFrame(anchor, Qt::Popup)
    , m_content(content)
    , m_anchor(anchor) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    // Large fonts on a small screen: what does not fit scrolls instead of being cut.
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(content);
    layout->addWidget(m_scroll);
}

QSize Popover::fittingSize(const QSize &available) const {
    const QMargins margins = layout()->contentsMargins() + contentsMargins();
    const QSize chrome(margins.left() + margins.right(), margins.top() + margins.bottom());
    const int width = std::min(m_content->sizeHint().width(), available.width() - chrome.width());
    const int height = m_content->hasHeightForWidth() ? m_content->heightForWidth(width)
                                                      : m_content->sizeHint().height();
    if (height + chrome.height() <= available.height())
        return QSize(width, height) + chrome;
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    return QSize(std::min(width + scrollBar, available.width() - chrome.width()),
                 available.height() - chrome.height()) +
           chrome;
}

void Popover::open() {
    setAttribute(Qt::WA_NoMouseReplay, false);
    QScreen *screen = m_anchor ? m_anchor->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(fittingSize(room.size()));
    QPoint at = pos();
    if (m_anchor) {
        // Buttons on the right of their window open leftwards, so the popover stays over it.
        const QWidget *window = m_anchor->window();
        const bool rightHalf =
            m_anchor->mapTo(window, m_anchor->rect().center()).x() > window->width() / 2;
        at = m_anchor->mapToGlobal(
            QPoint(rightHalf ? m_anchor->width() - width() : 0, m_anchor->height() + 2));
    }
    if (screen) {
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - width())));
        if (at.y() + height() > room.bottom() && m_anchor)
            at.setY(m_anchor->mapToGlobal(QPoint(0, 0)).y() - height() - 2);
        at.setY(std::max(at.y(), room.top()));
    }
    move(at);
    show();
    raise();
    activateWindow();
    // The first control in the tab chain, so the keyboard continues where the eye goes.
    for (QWidget *next = nextInFocusChain(); next && next != this;
         next = next->nextInFocusChain()) {
        if (isAncestorOf(next) && next->isVisibleTo(this) && next->isEnabled() &&
            (next->focusPolicy() & Qt::TabFocus)) {
            next->setFocus(Qt::PopupFocusReason);
            break;
        }
    }
    Q_EMIT opened();
}

void Popover::mousePressEvent(QMouseEvent *event) {
    if (!rect().contains(event->position().toPoint()) && m_anchor) {
        const QPoint onAnchor = m_anchor->mapFromGlobal(event->globalPosition().toPoint());
        setAttribute(Qt::WA_NoMouseReplay, m_anchor->rect().contains(onAnchor));
    }
    QFrame::mousePressEvent(event);
}

void Popover::hideEvent(QHideEvent *event) {
    QFrame::hideEvent(event);
    Q_EMIT closed();
}

PopoverButton::PopoverButton(const QString &text, QWidget *content, QWidget *parent)
    : QToolButton(parent)
    , m_popover(new Popover(content, this)) {
    setText(text);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setFocusPolicy(Qt::StrongFocus);
    setCheckable(true);
    connect(this, &QToolButton::clicked, this, [this] {
        if (m_popover->isVisible())
            m_popover->close();
        else
            m_popover->open();
    });
    connect(m_popover, &Popover::opened, this, [this] { setChecked(true); });
    connect(m_popover, &Popover::closed, this, [this] { setChecked(false); });
}

} // namespace quindle::ui
