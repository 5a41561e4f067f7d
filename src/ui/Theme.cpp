#include "ui/Theme.h"

#include <QEvent>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "mover/MoveManifest.h"

namespace quindle::ui {

namespace {

// Keeps a control's opacity in step with its enabled state.
class DisabledDimmer : public QObject {
public:
    explicit DisabledDimmer(QWidget *widget)
        : QObject(widget)
        , m_effect(new QGraphicsOpacityEffect(widget)) {
        widget->setGraphicsEffect(m_effect);
        widget->installEventFilter(this);
        apply(widget);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::EnabledChange)
            apply(static_cast<QWidget *>(watched));
        return false;
    }

private:
    void apply(QWidget *widget) { m_effect->setOpacity(widget->isEnabled() ? 1.0 : 0.4); }
    QGraphicsOpacityEffect *m_effect;
};

} // namespace

QColor statusColor(Tone tone) {
    switch (tone) {
    case Tone::Good:
        return QColor(0x2e, 0xa0, 0x43);
    case Tone::Warning:
        return QColor(0xf0, 0x8a, 0x00);
    case Tone::Bad:
        return QColor(0xd7, 0x2d, 0x2d);
    case Tone::Neutral:
        break;
    }
    return QPalette().color(QPalette::WindowText);
}

QLabel *heading(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    label->setFont(font);
    label->setWordWrap(true);
    return label;
}

QLabel *paragraph(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QLabel *caption(const QString &text, QWidget *parent) {
    QLabel *label = paragraph(text, parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QPushButton *pushButton(const QString &text, QWidget *parent, const QString &hint) {
    auto *made = new QPushButton(text, parent);
    name(made, text, hint);
    if (!hint.isEmpty())
        made->setToolTip(hint);
    return made;
}

QFrame *card(QWidget *parent) {
    auto *frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("card"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setAutoFillBackground(true);
    frame->setBackgroundRole(QPalette::AlternateBase);
    return frame;
}

void setTone(QLabel *label, Tone tone) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, statusColor(tone));
    label->setPalette(palette);
}

Tone toneFor(MovePhase phase) {
    switch (phase) {
    case MovePhase::Done:
        return Tone::Good;
    case MovePhase::Failed:
        return Tone::Bad;
    case MovePhase::WaitingForDrive:
        return Tone::Warning;
    default:
        return Tone::Neutral;
    }
}

RowList rowList(QWidget *parent, int spacing) {
    RowList list;
    list.scroll = new QScrollArea(parent);
    list.scroll->setFrameShape(QFrame::NoFrame);
    list.scroll->setWidgetResizable(true);
    list.scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list.content = new QWidget(list.scroll);
    list.rows = new QVBoxLayout(list.content);
    list.rows->setContentsMargins(0, 0, 0, 0);
    list.rows->setSpacing(spacing);
    list.scroll->setWidget(list.content);
    return list;
}

void name(QWidget *widget, const QString &accessibleName, const QString &description) {
    widget->setAccessibleName(accessibleName);
    if (!description.isEmpty()) {
        widget->setAccessibleDescription(description);
        widget->setToolTip(description);
    }
}

void dimWhenDisabled(QWidget *widget) {
    new DisabledDimmer(widget);
}

int textWidth(const QWidget *widget, int columns) {
    return widget->fontMetrics().averageCharWidth() * columns;
}

int textHeight(const QWidget *widget, int lines) {
    return widget->fontMetrics().lineSpacing() * lines;
}

} // namespace quindle::ui
