#include "ui/DialogKeys.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace quindle::ui {

DialogKeys::DialogKeys(QWidget *window)
    : QObject(window) {
    window->installEventFilter(this);
}

void DialogKeys::setDefaultButton(QPushButton *button) {
    if (m_default == button)
        return;
    if (m_default)
        m_default->setDefault(false);
    m_default = button;
    if (m_default)
        m_default->setDefault(true);
}

bool DialogKeys::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter && plain && m_default && m_default->isVisible() && m_default->isEnabled()) {
        m_default->click();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quindle::ui
