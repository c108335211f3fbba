#include "shell/BrowserPictures.h"

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

QIcon TextIcon(const QString& text, bool bold, bool italic, bool underline)
{
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    QFont font("Times New Roman", 11);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    p.setFont(font);
    p.drawText(pixmap.rect(), Qt::AlignCenter, text);
    return QIcon(pixmap);
}

QIcon AlignIcon(Qt::Alignment alignment)
{
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    for (int i = 0; i < 5; ++i) {
        const int length = (i % 2) ? 10 : 14;
        int left = 2;
        if (alignment == Qt::AlignHCenter)
            left = 2 + (14 - length) / 2;
        else if (alignment == Qt::AlignRight)
            left = 16 - length;
        p.drawLine(left, 3 + i * 3, left + length, 3 + i * 3);
    }
    return QIcon(pixmap);
}

} // namespace velm
