#include "ui/TrayIconArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace quindle::ui {

namespace {

constexpr int dotSize = 7;

// A drive: a rounded slab with a status light, and the cable line beneath it.
// `light` transparent punches the status light through to what lies beneath.
void drawDrive(QPainter &painter, const QRectF &area, const QColor &ink,
               const QColor &light = Qt::transparent) {
    const qreal unit = area.width() / 16.0;
    const QRectF body(area.left() + 1.5 * unit, area.top() + 3 * unit, 13 * unit, 6.5 * unit);
    QPainterPath slab;
    slab.addRoundedRect(body, 1.6 * unit, 1.6 * unit);
    painter.fillPath(slab, ink);
    if (light.alpha() == 0)
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setBrush(light.alpha() == 0 ? QColor(Qt::black) : light);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(body.right() - 2.4 * unit, body.center().y()), 1.0 * unit,
                        1.0 * unit);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillRect(QRectF(area.left() + 7.25 * unit, body.bottom(), 1.5 * unit, 2 * unit), ink);
    painter.fillRect(
        QRectF(area.left() + 2.5 * unit, body.bottom() + 2 * unit, 11 * unit, 1.5 * unit), ink);
}

QPixmap drawIcon(int size, const DotLook &dot, bool blinkOn) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    drawDrive(painter, QRectF(0, 0, size, size), QPalette().color(QPalette::WindowText));
    if (dot.visible) {
        const qreal scale = size / 22.0;
        const qreal diameter = dotSize * scale;
        const QRectF circle((size - diameter) / 2, size - diameter - scale, diameter, diameter);
        painter.setOpacity(dot.blinks && !blinkOn ? 0.35 : 1.0);
        painter.setPen(QPen(QPalette().color(QPalette::Base), scale));
        painter.setBrush(statusColor(dot.tone));
        painter.drawEllipse(circle);
    }
    return pixmap;
}

} // namespace

DotLook dotLook(IconState state, bool activityRunning) {
    switch (state) {
    case IconState::Normal:
    case IconState::NoStatus:
        return activityRunning ? DotLook{true, Tone::Good, true} : DotLook{};
    case IconState::Low:
    case IconState::Paused:
        return {true, Tone::Warning, false};
    case IconState::NoFullDiskAccess:
        return {true, Tone::Caution, false};
    case IconState::Critical:
    case IconState::DriveMissing:
        return {true, Tone::Bad, false};
    case IconState::NotInstalled:
        break;
    }
    return {};
}

QIcon trayIcon(const DotLook &dot, bool blinkOn) {
    QIcon icon;
    for (int size : {22, 32, 44, 64})
        icon.addPixmap(drawIcon(size, dot, blinkOn));
    return icon;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath tile;
        tile.addRoundedRect(QRectF(0, 0, size, size), size * 0.22, size * 0.22);
        painter.fillPath(tile, QColor(0x2b, 0x59, 0xc3));
        drawDrive(painter, QRectF(size * 0.15, size * 0.18, size * 0.7, size * 0.7), Qt::white,
                  QColor(0x2b, 0x59, 0xc3));
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace quindle::ui
