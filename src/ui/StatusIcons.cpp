#include "ui/StatusIcons.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QWidget>

namespace quindle::ui {

namespace {

QPixmap blank(const QWidget *widget, int size) {
    const qreal ratio = widget->devicePixelRatioF();
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void drawCheck(QPainter &painter, qreal s) {
    QPen tick(Qt::white, s * 0.09, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(tick);
    QPainterPath check;
    check.moveTo(s * 0.32, s * 0.50);
    check.lineTo(s * 0.45, s * 0.63);
    check.lineTo(s * 0.69, s * 0.37);
    painter.drawPath(check);
}

QPixmap styleIcon(const QWidget *widget, QStyle::StandardPixmap which, int size) {
    return widget->style()
        ->standardIcon(which, nullptr, widget)
        .pixmap(QSize(size, size), widget->devicePixelRatioF());
}

} // namespace

QPixmap errorIcon(const QWidget *widget, int size) {
    return styleIcon(widget, QStyle::SP_MessageBoxCritical, size);
}

QPixmap warningIcon(const QWidget *widget, int size) {
    return styleIcon(widget, QStyle::SP_MessageBoxWarning, size);
}

QPixmap shieldIcon(const QWidget *widget, int size) {
    QPixmap pixmap = blank(widget, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath shield;
    shield.moveTo(s * 0.5, s * 0.04);
    shield.cubicTo(s * 0.66, s * 0.14, s * 0.80, s * 0.17, s * 0.90, s * 0.17);
    shield.cubicTo(s * 0.90, s * 0.58, s * 0.76, s * 0.82, s * 0.5, s * 0.96);
    shield.cubicTo(s * 0.24, s * 0.82, s * 0.10, s * 0.58, s * 0.10, s * 0.17);
    shield.cubicTo(s * 0.20, s * 0.17, s * 0.34, s * 0.14, s * 0.5, s * 0.04);
    shield.closeSubpath();
    painter.fillPath(shield, statusColor(Tone::Good));
    drawCheck(painter, s);
    return pixmap;
}

QPixmap checkIcon(const QWidget *widget, int size) {
    QPixmap pixmap = blank(widget, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(statusColor(Tone::Good));
    painter.drawEllipse(QRectF(size * 0.04, size * 0.04, size * 0.92, size * 0.92));
    drawCheck(painter, size);
    return pixmap;
}

QPixmap tierIcon(const QWidget *widget, int size) {
    QPixmap pixmap = blank(widget, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = widget->palette();
    const qreal s = size;
    const auto drive = [&](QRectF box, const QColor &fill, const QColor &light) {
        QPainterPath body;
        body.addRoundedRect(box, s * 0.08, s * 0.08);
        painter.fillPath(body, fill);
        painter.setPen(Qt::NoPen);
        painter.setBrush(light);
        const qreal dot = s * 0.07;
        painter.drawEllipse(QRectF(box.right() - dot * 2.2, box.center().y() - dot / 2, dot, dot));
    };
    drive(QRectF(s * 0.22, s * 0.14, s * 0.72, s * 0.32), palette.color(QPalette::Mid),
          palette.color(QPalette::Light));
    drive(QRectF(s * 0.06, s * 0.52, s * 0.72, s * 0.32), palette.color(QPalette::Highlight),
          palette.color(QPalette::HighlightedText));
    return pixmap;
}

QIcon driveIcon(const QWidget *widget) {
    return QIcon::fromTheme(
        QStringLiteral("drive-harddisk-usb"),
        QIcon::fromTheme(QStringLiteral("drive-removable-media"),
                         widget->style()->standardIcon(QStyle::SP_DriveHDIcon, nullptr, widget)));
}

} // namespace quindle::ui
