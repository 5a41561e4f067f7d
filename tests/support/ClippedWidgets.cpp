#include "support/ClippedWidgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace quindle::test {

QStringList clippedWidgets(const QWidget *root) {
    QStringList clipped;
    const auto shown = [root](const QWidget *widget) { return widget->isVisibleTo(root); };
    for (const QAbstractButton *button : root->findChildren<QAbstractButton *>())
        if (shown(button) && !button->text().isEmpty() &&
            (button->width() < button->sizeHint().width() ||
             button->height() < button->minimumSizeHint().height()))
            clipped << QStringLiteral("button '%1' (%2×%3 of %4×%5 px)")
                           .arg(button->text())
                           .arg(button->width())
                           .arg(button->height())
                           .arg(button->sizeHint().width())
                           .arg(button->minimumSizeHint().height());
    for (const QLabel *label : root->findChildren<QLabel *>())
        if (shown(label) && !label->wordWrap() && !label->text().isEmpty() &&
            label->width() < label->minimumSizeHint().width())
            clipped << QStringLiteral("label '%1' (%2 of %3 px)")
                           .arg(label->text().left(60))
                           .arg(label->width())
                           .arg(label->minimumSizeHint().width());
    for (const QLabel *label : root->findChildren<QLabel *>())
        if (shown(label) && label->wordWrap() && !label->text().isEmpty() &&
            label->height() < label->heightForWidth(label->width()))
            clipped << QStringLiteral("wrapped label '%1' (%2 of %3 px high)")
                           .arg(label->text().left(60))
                           .arg(label->height())
                           .arg(label->heightForWidth(label->width()));
    for (const QScrollArea *area : root->findChildren<QScrollArea *>())
        if (shown(area) && area->horizontalScrollBar()->isVisible())
            clipped << QStringLiteral("scroll area '%1' scrolls sideways")
                           .arg(area->accessibleName().isEmpty() ? area->objectName()
                                                                 : area->accessibleName());
    return clipped;
}

ApplicationFontSize::ApplicationFontSize(int points)
    : m_previous(QApplication::font().pointSize()) {
    QFont font = QApplication::font();
    font.setPointSize(points);
    QApplication::setFont(font);
}

ApplicationFontSize::~ApplicationFontSize() {
    QFont font = QApplication::font();
    font.setPointSize(m_previous);
    QApplication::setFont(font);
}

} // namespace quindle::test
