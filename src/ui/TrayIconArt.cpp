#include "ui/TrayIconArt.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <algorithm>
#include <functional>

namespace quindle::ui {

namespace {

constexpr int dotSize = 7;
// Light ink with a dark rim: the panel may be light or dark whatever the window theme is.
const QColor kGlyphInk(0xf4, 0xf4, 0xf4);
const QColor kGlyphRim(0x1c, 0x1c, 0x1c, 230);

// Draws at whatever size is asked, so every screen scale gets sharp edges, not a scaled bitmap.
class DrawnIcon : public QIconEngine {
public:
    using Draw = std::function<void(QPainter &, qreal size)>;
    explicit DrawnIcon(Draw draw)
        : m_draw(std::move(draw)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        m_draw(*painter, std::min(rect.width(), rect.height()));
        painter->restore();
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }
    // Tray hosts take the listed sizes: 1×, 1.5× and 2× of the common panel heights.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : {16, 22, 24, 32, 33, 36, 44, 48, 64, 128})
            sizes << QSize(side, side);
        return sizes;
    }
    QIconEngine *clone() const override { return new DrawnIcon(m_draw); }

private:
    Draw m_draw;
};

// A drive: a rounded slab with a status light, and the cable line beneath it. The light is a
// hole, so what lies beneath shows through.
QPainterPath drivePath(const QRectF &area) {
    const qreal unit = area.width() / 16.0;
    const QRectF body(area.left() + 1.5 * unit, area.top() + 3 * unit, 13 * unit, 6.5 * unit);
    QPainterPath glyph;
    glyph.addRoundedRect(body, 1.6 * unit, 1.6 * unit);
    glyph.addRect(QRectF(area.left() + 7.25 * unit, body.bottom(), 1.5 * unit, 2 * unit));
    glyph.addRect(
        QRectF(area.left() + 2.5 * unit, body.bottom() + 2 * unit, 11 * unit, 1.5 * unit));
    glyph = glyph.simplified();
    QPainterPath light;
    light.addEllipse(QPointF(body.right() - 2.4 * unit, body.center().y()), 1.0 * unit, 1.0 * unit);
    return glyph.subtracted(light);
}

void drawTrayGlyph(QPainter &painter, qreal size, const DotLook &dot, bool blinkOn) {
    const QPainterPath drive = drivePath(QRectF(0, 0, size, size));
    const qreal rim = std::max(1.0, size / 22.0);
    painter.fillPath(drive, kGlyphInk);
    // Centred on the edge: half of it darkens the ink's border, half rings it outside.
    painter.strokePath(drive,
                       QPen(kGlyphRim, 1.25 * rim, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (dot.visible) {
        const qreal scale = size / 22.0;
        const qreal diameter = dotSize * scale;
        const QRectF circle((size - diameter) / 2, size - diameter - scale, diameter, diameter);
        painter.setOpacity(dot.blinks && !blinkOn ? 0.35 : 1.0);
        painter.setPen(QPen(kGlyphRim, rim));
        painter.setBrush(statusColor(dot.tone));
        painter.drawEllipse(circle);
        painter.setOpacity(1.0);
    }
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
    case IconState::Critical:
    case IconState::DriveMissing:
        return {true, Tone::Bad, false};
    case IconState::NotInstalled:
        break;
    }
    return {};
}

QIcon trayIcon(const DotLook &dot, bool blinkOn) {
    return QIcon(new DrawnIcon([dot, blinkOn](QPainter &painter, qreal size) {
        drawTrayGlyph(painter, size, dot, blinkOn);
    }));
}

QIcon applicationIcon() {
    return QIcon(new DrawnIcon([](QPainter &painter, qreal size) {
        const QColor tileColour(0x2b, 0x59, 0xc3);
        QPainterPath tile;
        tile.addRoundedRect(QRectF(0, 0, size, size), size * 0.22, size * 0.22);
        painter.fillPath(tile, tileColour);
        painter.fillPath(drivePath(QRectF(size * 0.15, size * 0.18, size * 0.7, size * 0.7)),
                         Qt::white);
    }));
}

} // namespace quindle::ui
