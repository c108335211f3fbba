#include "shell/ToolbarGlyphs.h"

#include "preview/Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace velm {

namespace {

// Shapes on a 21 by 21 grid, the size the buttons were designed for.
void Draw(const QString& Name, QPainter& p, const GlyphInk& ink)
{
    const QPen outline(ink(Qt::black), 1.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    if (Name == "drag") {
        // Four arrows from the centre.
        QPainterPath cross;
        const double c = 10.5;
        for (int quarter = 0; quarter < 4; ++quarter) {
            QTransform turn;
            turn.translate(c, c).rotate(90.0 * quarter).translate(-c, -c);
            QPolygonF arrow({{c - 1.6, c}, {c - 1.6, 4.5}, {c - 4.2, 4.5}, {c, 0.3},
                             {c + 4.2, 4.5}, {c + 1.6, 4.5}, {c + 1.6, c}});
            cross.addPolygon(turn.map(arrow));
            cross.closeSubpath();
        }
        p.setPen(Qt::NoPen);
        p.setBrush(ink(QColor(0, 0, 128)));
        p.drawPath(cross.simplified());
    } else if (Name == "print") {
        p.setPen(outline);
        p.setBrush(ink(Qt::white));
        p.drawRect(QRectF(5, 2, 11, 6));   // the sheet going in
        p.setBrush(ink(QColor(192, 192, 192)));
        p.drawRoundedRect(QRectF(1.5, 8, 18, 7), 1, 1);
        p.setBrush(ink(Qt::white));
        p.drawRect(QRectF(5, 13, 11, 6.5)); // the sheet coming out
        p.drawLine(QPointF(7, 15.5), QPointF(14, 15.5));
        p.drawLine(QPointF(7, 17.5), QPointF(14, 17.5));
        p.setPen(Qt::NoPen);
        p.setBrush(ink(QColor(0, 176, 0)));
        p.drawRect(QRectF(15.5, 9.5, 2, 2)); // the light
    } else if (Name == "view") {
        p.setPen(QPen(ink(QColor(128, 0, 0)), 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12.5, 12.5), QPointF(19, 19)); // the handle
        p.setPen(QPen(ink(Qt::black), 1.8));
        p.setBrush(ink(QColor(208, 248, 255)));
        p.drawEllipse(QPointF(8, 8), 6, 6);
    } else if (Name == "edit") {
        p.setPen(outline);
        p.setBrush(ink(Qt::white));
        p.drawRect(QRectF(2.5, 1.5, 12, 17.5)); // the page
        p.setPen(QPen(ink(QColor(96, 96, 96)), 1.2));
        for (const double y : {5.0, 8.0, 11.0})
            p.drawLine(QPointF(5, y), QPointF(12, y));
        // The pencil, from the lower left up to the right.
        QTransform along;
        along.translate(7.5, 19).rotate(-50);
        p.setPen(QPen(ink(Qt::black), 0.8));
        p.setBrush(ink(QColor(208, 144, 0)));
        p.drawPolygon(along.map(QPolygonF({{3, -1.6}, {15, -1.6}, {15, 1.6}, {3, 1.6}})));
        p.setBrush(ink(QColor(40, 40, 40)));
        p.drawPolygon(along.map(QPolygonF({{0, 0}, {3, -1.6}, {3, 1.6}})));
    }
}

} // namespace

QIcon ToolbarGlyph(const QString& Name)
{
    return DrawnGlyph(21, [Name](QPainter& p, const GlyphInk& ink) { Draw(Name, p, ink); });
}

} // namespace velm
