#include "shell/ToolbarGlyphs.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace velm {

namespace {

// Shapes on a 21 by 21 grid, the size the buttons were designed for.
constexpr double kGrid = 21.0;

class GlyphEngine : public QIconEngine {
public:
    explicit GlyphEngine(QString name) : name_(std::move(name)) {}
    QIconEngine* clone() const override { return new GlyphEngine(name_); }
    QString key() const override { return QStringLiteral("velm-toolbar-glyph"); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const double side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
        painter->scale(side / kGrid, side / kGrid);
        grey_ = mode == QIcon::Disabled;
        Draw(*painter);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        // Drawn for the device's pixels, not scaled up from a small picture.
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

private:
    QColor Ink(QColor colour) const
    {
        if (!grey_)
            return colour;
        const int level = 128 + qGray(colour.rgb()) / 3;
        return QColor(level, level, level);
    }

    void Draw(QPainter& p) const
    {
        const QPen outline(Ink(Qt::black), 1.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
        if (name_ == "drag") {
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
            p.setBrush(Ink(QColor(0, 0, 128)));
            p.drawPath(cross.simplified());
        } else if (name_ == "print") {
            p.setPen(outline);
            p.setBrush(Ink(Qt::white));
            p.drawRect(QRectF(5, 2, 11, 6));   // the sheet going in
            p.setBrush(Ink(QColor(192, 192, 192)));
            p.drawRoundedRect(QRectF(1.5, 8, 18, 7), 1, 1);
            p.setBrush(Ink(Qt::white));
            p.drawRect(QRectF(5, 13, 11, 6.5)); // the sheet coming out
            p.drawLine(QPointF(7, 15.5), QPointF(14, 15.5));
            p.drawLine(QPointF(7, 17.5), QPointF(14, 17.5));
            p.setPen(Qt::NoPen);
            p.setBrush(Ink(QColor(0, 176, 0)));
            p.drawRect(QRectF(15.5, 9.5, 2, 2)); // the light
        } else if (name_ == "view") {
            p.setPen(QPen(Ink(QColor(128, 0, 0)), 3.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(12.5, 12.5), QPointF(19, 19)); // the handle
            p.setPen(QPen(Ink(Qt::black), 1.8));
            p.setBrush(Ink(QColor(208, 248, 255)));
            p.drawEllipse(QPointF(8, 8), 6, 6);
        } else if (name_ == "edit") {
            p.setPen(outline);
            p.setBrush(Ink(Qt::white));
            p.drawRect(QRectF(2.5, 1.5, 12, 17.5)); // the page
            p.setPen(QPen(Ink(QColor(96, 96, 96)), 1.2));
            for (const double y : {5.0, 8.0, 11.0})
                p.drawLine(QPointF(5, y), QPointF(12, y));
            // The pencil, from the lower left up to the right.
            QTransform along;
            along.translate(7.5, 19).rotate(-50);
            p.setPen(QPen(Ink(Qt::black), 0.8));
            p.setBrush(Ink(QColor(208, 144, 0)));
            p.drawPolygon(along.map(QPolygonF({{3, -1.6}, {15, -1.6}, {15, 1.6}, {3, 1.6}})));
            p.setBrush(Ink(QColor(40, 40, 40)));
            p.drawPolygon(along.map(QPolygonF({{0, 0}, {3, -1.6}, {3, 1.6}})));
        }
    }

    QString name_;
    mutable bool grey_ = false;
};

} // namespace

QIcon ToolbarGlyph(const QString& Name) { return QIcon(new GlyphEngine(Name)); }

} // namespace velm
