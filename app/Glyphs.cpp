#include "app/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace qz::app {
namespace {

QPixmap blankGlyph() {
    QPixmap pixmap(kGlyphSize, kGlyphSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QPixmap arrowGlyph(ArrowDirection direction) {
    QPixmap pixmap = blankGlyph();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 28, 36), 1.0));
    p.setBrush(QColor(45, 62, 80));
    p.drawEllipse(QRectF(0.5, 0.5, 15.0, 15.0));

    // Drawn pointing up; the down arrow is the same shape mirrored.
    if (direction == ArrowDirection::Down) {
        p.translate(0, kGlyphSize);
        p.scale(1, -1);
    }
    QPainterPath arrow;
    arrow.addPolygon(QPolygonF({QPointF(8.0, 3.0), QPointF(12.5, 8.0), QPointF(9.6, 8.0),
                                QPointF(9.6, 12.5), QPointF(6.4, 12.5), QPointF(6.4, 8.0),
                                QPointF(3.5, 8.0)}));
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return pixmap;
}

QPixmap floppyGlyph() {
    QPixmap pixmap = blankGlyph();
    QPainter p(&pixmap);
    // Body with the cut corner of a 3.5" disk.
    p.setPen(QColor(16, 40, 96));
    p.setBrush(QColor(42, 86, 170));
    p.drawPolygon(QPolygon({QPoint(1, 1), QPoint(13, 1), QPoint(14, 2), QPoint(14, 14),
                            QPoint(1, 14)}));
    // Metal shutter with its window.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 204, 210));
    p.drawRect(4, 2, 8, 5);
    p.setBrush(QColor(42, 86, 170));
    p.drawRect(9, 3, 2, 3);
    // Paper label.
    p.setBrush(Qt::white);
    p.drawRect(3, 9, 10, 5);
    p.setPen(QColor(150, 160, 180));
    p.drawLine(4, 11, 11, 11);
    return pixmap;
}

QPixmap exitGlyph() {
    QPixmap pixmap = blankGlyph();
    QPainter p(&pixmap);
    p.setPen(QColor(120, 10, 10));
    p.setBrush(QColor(210, 34, 34));
    p.drawRect(0, 0, kGlyphSize - 1, kGlyphSize - 1);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4.5, 4.5), QPointF(11.5, 11.5));
    p.drawLine(QPointF(11.5, 4.5), QPointF(4.5, 11.5));
    return pixmap;
}

}  // namespace qz::app
