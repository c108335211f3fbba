#include "shell/BrowserPictures.h"

#include "preview/Glyphs.h"

#include <QFont>
#include <QPainter>

namespace velm {

QPixmap ColumnsPicture(int columns)
{
    QPixmap pixmap(35, 20);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.drawRect(0, 0, 34, 19);
    const int width = 33 / columns;
    for (int c = 0; c < columns; ++c) {
        const int left = 1 + c * width;
        if (c > 0)
            p.drawLine(left, 1, left, 18);
        for (int y = 4; y < 17; y += 3)
            p.drawLine(left + 2, y, left + width - 3, y);
    }
    return pixmap;
}

QPixmap DrivePicture(Drive::Kind kind)
{
    QPixmap pixmap(16, 9);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    switch (kind) {
    case Drive::Removable:
        p.setBrush(QColor(0, 0, 128));
        p.drawRect(3, 0, 9, 8);
        p.fillRect(5, 1, 5, 3, Qt::white);
        break;
    case Drive::Fixed:
        p.setBrush(Qt::lightGray);
        p.drawRect(0, 2, 15, 6);
        p.fillRect(12, 5, 2, 1, Qt::green);
        break;
    case Drive::Network:
        p.setBrush(Qt::lightGray);
        p.drawRect(0, 0, 15, 5);
        p.drawLine(8, 6, 8, 8);
        p.drawLine(2, 8, 14, 8);
        break;
    }
    return pixmap;
}

// The bar's two kinds of glyph are drawn for the screen's pixels, as the
// toolbar's are, on an 18 by 18 grid.
QIcon TextIcon(const QString& text, bool bold, bool italic, bool underline)
{
    return DrawnGlyph(18, [=](QPainter& p, const GlyphInk& ink) {
        QFont font("Times New Roman");
        font.setPixelSize(15);
        font.setBold(bold);
        font.setItalic(italic);
        font.setUnderline(underline);
        p.setFont(font);
        p.setPen(ink(Qt::black));
        p.drawText(QRectF(0, 0, 18, 18), Qt::AlignCenter, text);
    });
}

QIcon AlignIcon(Qt::Alignment alignment)
{
    return DrawnGlyph(18, [=](QPainter& p, const GlyphInk& ink) {
        p.setPen(QPen(ink(Qt::black), 1.0, Qt::SolidLine, Qt::FlatCap));
        for (int i = 0; i < 5; ++i) {
            const double length = (i % 2) ? 10 : 14;
            double left = 2;
            if (alignment == Qt::AlignHCenter)
                left = 2 + (14 - length) / 2;
            else if (alignment == Qt::AlignRight)
                left = 16 - length;
            // Half a unit down: one pixel row at the design size, not two half-lit ones.
            p.drawLine(QPointF(left, 3.5 + i * 3), QPointF(left + length, 3.5 + i * 3));
        }
    });
}

} // namespace velm
