#include "ui/ToastLabel.h"

#include "ui/Theme.h"

#include <QAccessible>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPropertyAnimation>

#include <algorithm>

namespace quindle::ui {

namespace {

using namespace std::chrono_literals;

QColor toneColor(quindle::Tone tone) {
    switch (tone) {
    case quindle::Tone::Success:
        return statusColor(Tone::Good);
    case quindle::Tone::Warning:
        return statusColor(Tone::Warning);
    case quindle::Tone::Error:
        return statusColor(Tone::Bad);
    case quindle::Tone::Info:
        break;
    }
    return QPalette().color(QPalette::Highlight);
}

QColor mixed(const QColor &base, const QColor &tint, double amount) {
    return QColor::fromRgbF(
        static_cast<float>(base.redF() * (1 - amount) + tint.redF() * amount),
        static_cast<float>(base.greenF() * (1 - amount) + tint.greenF() * amount),
        static_cast<float>(base.blueF() * (1 - amount) + tint.blueF() * amount));
}

} // namespace

ToastLabel::ToastLabel(QWidget *parent)
    : QFrame(parent) {
    setObjectName(QStringLiteral("toast"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 8, 14, 8);
    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_text, 1);

    m_opacity = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(m_opacity);
    m_fade = new QPropertyAnimation(m_opacity, "opacity", this);
    m_fade->setDuration(400);
    m_fade->setStartValue(1.0);
    m_fade->setEndValue(0.0);
    connect(m_fade, &QPropertyAnimation::finished, this, [this] {
        hide();
        Q_EMIT faded();
    });
    m_hold.setSingleShot(true);
    connect(&m_hold, &QTimer::timeout, m_fade, [this] { m_fade->start(); });
    hide();
}

void ToastLabel::post(const Toast &toast) {
    m_toast = toast;
    m_fade->stop();
    m_opacity->setOpacity(1.0);
    m_text->setText(toast.text);
    restyle();
    show();
    raise();
    m_text->setAccessibleName(toast.text);
    m_text->setAccessibleDescription(toast.text);
    QAccessibleEvent alert(m_text, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    QAccessibleEvent named(m_text, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    if (!underMouse())
        m_hold.start(holdTime());
    Q_EMIT posted();
}

void ToastLabel::enterEvent(QEnterEvent *event) {
    QFrame::enterEvent(event);
    m_hold.stop();
    m_fade->stop();
    m_opacity->setOpacity(1.0);
}

void ToastLabel::leaveEvent(QEvent *event) {
    QFrame::leaveEvent(event);
    if (isVisible())
        m_hold.start(holdTime());
}

std::chrono::milliseconds ToastLabel::holdTime() const {
    if (m_holdOverride)
        return *m_holdOverride;
    // Long sentences need reading time.
    return std::clamp(std::chrono::milliseconds(m_toast.text.size() * 55), 4000ms, 10000ms);
}

void ToastLabel::restyle() {
    const QColor accent = toneColor(m_toast.tone);
    const QColor base = palette().color(QPalette::Base);
    setStyleSheet(QStringLiteral("QFrame#toast { background: %1; border: 1px solid %2; "
                                 "border-left: 4px solid %2; border-radius: 6px; }")
                      .arg(mixed(base, accent, 0.10).name(), accent.name()));
}

} // namespace quindle::ui
