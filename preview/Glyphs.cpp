#include "preview/Glyphs.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cstring>
#include <utility>

namespace velm {

QColor GlyphInk::operator()(QColor Colour) const
{
    if (!Grey)
        return Colour;
    const int level = 128 + qGray(Colour.rgb()) / 3;
    return QColor(level, level, level);
}

namespace {

class GlyphEngine : public QIconEngine {
public:
    GlyphEngine(double grid, GlyphDrawing drawing) : grid_(grid), drawing_(std::move(drawing)) {}
    QIconEngine* clone() const override { return new GlyphEngine(grid_, drawing_); }
    QString key() const override { return QStringLiteral("velm-drawn-glyph"); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const double side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
        painter->scale(side / grid_, side / grid_);
        drawing_(*painter, GlyphInk{mode == QIcon::Disabled});
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        // Drawn for the device's pixels, not scaled up from a small picture:
        // QIcon asks for the size in device pixels already.
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

private:
    double grid_;
    GlyphDrawing drawing_;
};

// The shapes below sit on a 16 by 16 grid; a one-unit line at n + 0.5
// covers pixel n at the design size.
QPen Line(const GlyphInk& ink, double width = 1.0)
{
    return QPen(ink(Qt::black), width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

const QColor Brown(128, 64, 0);

// The door frame, open or closed.
void Door(QPainter& p, const GlyphInk& ink, bool open)
{
    p.setPen(Line(ink));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(2.5, 1.5, 9, 13));
    p.setPen(QPen(ink(QColor(192, 192, 192)), 1.0));
    p.drawPolyline(QPolygonF({{3.5, 14}, {3.5, 2.5}, {10.5, 2.5}, {10.5, 14}}));
    p.setPen(Line(ink));
    p.setBrush(ink(Brown));
    if (open)
        p.drawPolygon(QPolygonF({{4.5, 3.5}, {9.5, 8}, {9.5, 10.5}, {4.5, 14}}));
    else
        p.drawRect(QRectF(4.5, 3.5, 5, 10.5));
    p.setPen(Qt::NoPen);
    p.setBrush(ink(Qt::yellow));
    p.drawRect(QRectF(open ? 6 : 7, 8, 1, 1));
}

void Printer(QPainter& p, const GlyphInk& ink)
{
    p.setPen(Line(ink));
    p.setBrush(ink(Qt::white));
    p.drawRect(QRectF(4.5, 1.5, 8, 5)); // the sheet going in
    p.drawLine(QPointF(6.5, 3.5), QPointF(10.5, 3.5));
    p.setBrush(ink(QColor(192, 192, 192)));
    p.drawRect(QRectF(1.5, 6.5, 13, 5));
    p.setPen(QPen(ink(QColor(128, 128, 128)), 1.0));
    p.drawLine(QPointF(2, 10.5), QPointF(14, 10.5));
    p.setPen(Line(ink));
    p.setBrush(ink(Qt::white));
    p.drawRect(QRectF(3.5, 11.5, 10, 3)); // the sheet coming out
    p.drawLine(QPointF(5.5, 13), QPointF(10.5, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(ink(Qt::yellow));
    p.drawRect(QRectF(11, 8, 2, 1)); // the light
}

void Magnifier(QPainter& p, const GlyphInk& ink, bool plus)
{
    // The handle first, so the lens's rim lies over its end.
    p.setPen(QPen(ink(Qt::black), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14.3, 14.3));
    p.setPen(QPen(ink(Brown), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14.3, 14.3));
    p.setPen(Line(ink));
    p.setBrush(ink(Qt::cyan));
    p.drawEllipse(QPointF(6.5, 6), 5.5, 5.5);
    p.setPen(QPen(ink(Qt::white), 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(3, 2.5, 7, 7), 100 * 16, 70 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(ink(Qt::black));
    p.drawRect(QRectF(3, 5, 7, 2));
    if (plus)
        p.drawRect(QRectF(5.5, 2.5, 2, 7));
}

void Arrow(QPainter& p, const GlyphInk& ink, bool right)
{
    QPolygonF arrow({{2, 8}, {7.5, 2.5}, {7.5, 5.5}, {13.5, 5.5}, {13.5, 10.5}, {7.5, 10.5}, {7.5, 13.5}});
    if (right)
        arrow = QTransform(-1, 0, 0, 1, 16, 0).map(arrow);
    p.setPen(Line(ink));
    p.setBrush(ink(QColor(0, 0, 128)));
    p.drawPolygon(arrow);
}

} // namespace

QIcon DrawnGlyph(double Grid, GlyphDrawing Drawing) { return QIcon(new GlyphEngine(Grid, std::move(Drawing))); }

QIcon Glyph(const char* Name)
{
    using Draw = void (*)(QPainter&, const GlyphInk&);
    static const std::pair<const char*, Draw> drawings[] = {
        {"printer", Printer},
        {"door", [](QPainter& p, const GlyphInk& ink) { Door(p, ink, true); }},
        {"doorclosed", [](QPainter& p, const GlyphInk& ink) { Door(p, ink, false); }},
        {"zoomminus", [](QPainter& p, const GlyphInk& ink) { Magnifier(p, ink, false); }},
        {"zoomplus", [](QPainter& p, const GlyphInk& ink) { Magnifier(p, ink, true); }},
        {"arrowleft", [](QPainter& p, const GlyphInk& ink) { Arrow(p, ink, false); }},
        {"arrowright", [](QPainter& p, const GlyphInk& ink) { Arrow(p, ink, true); }},
    };
    for (const auto& [name, draw] : drawings)
        if (std::strcmp(name, Name) == 0)
            return DrawnGlyph(16, draw);
    return {};
}

} // namespace velm
