#include "app/button_glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tdb::app {
namespace {

constexpr int kSize = 18;

template <typename Draw> QIcon drawnIcon(Draw draw) {
    QIcon icon;
    for (qreal scale : {1.0, 2.0}) {
        QPixmap pixmap(static_cast<int>(kSize * scale), static_cast<int>(kSize * scale));
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon okGlyph() {
    return drawnIcon([](QPainter& p) {
        QPainterPath tick;
        tick.moveTo(3, 9.5);
        tick.lineTo(7, 14);
        tick.lineTo(15, 4);
        p.setPen(QPen(QColor(0, 128, 0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
    });
}

QIcon closeGlyph() {
    return drawnIcon([](QPainter& p) {
        // Door frame and the open door leaf.
        p.setPen(QPen(QColor(64, 64, 64), 1));
        p.setBrush(QColor(255, 255, 255));
        p.drawRect(QRectF(2.5, 1.5, 8, 15));
        QPolygonF leaf({{2.5, 1.5}, {7.5, 3.5}, {7.5, 17.5}, {2.5, 16.5}});
        p.setBrush(QColor(128, 96, 48));
        p.drawPolygon(leaf);
        // The way out.
        QPainterPath arrow;
        arrow.moveTo(9, 9);
        arrow.lineTo(16, 9);
        p.setPen(QPen(QColor(26, 79, 160), 2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow);
        QPolygonF head({{17, 9}, {13, 5.5}, {13, 12.5}});
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(26, 79, 160));
        p.drawPolygon(head);
    });
}

} // namespace tdb::app
