// Reference peer for bench/compare: the plain Qt way to print text, one
// drawText per line on a QPdfWriter, with a one-line header per page.
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextStream>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3)
        return 2;
    QFile in(argv[1]);
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(600);
    QPainter painter(&writer);
    painter.setFont(QFont("Liberation Serif", 10));
    const int lineHeight = painter.fontMetrics().height();
    const int bottom = writer.height() - lineHeight;
    int page = 1;
    int y = 2 * lineHeight;
    painter.drawText(0, lineHeight, QString("%1  page %2").arg(argv[1]).arg(page));
    QTextStream text(&in);
    while (!text.atEnd()) {
        const QString line = text.readLine();
        if (y > bottom) {
            writer.newPage();
            painter.drawText(0, lineHeight, QString("%1  page %2").arg(argv[1]).arg(++page));
            y = 2 * lineHeight;
        }
        painter.drawText(0, y, line);
        y += lineHeight;
    }
    return painter.end() ? 0 : 1;
}
