// Printing rich text: the document laid out in the printer's own pixels,
// its lines cut into text runs page by page and sent to the printer.
#include "shell/RichText.h"

#include "platform/printing/printer.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace velm {

namespace {

LogFont LogFontOf(const QFont& font, double dpi)
{
    LogFont log;
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 12.0;
    log.height = -static_cast<int>(std::lround(points * dpi / 72.0));
    log.weight = font.bold() ? 700 : 400;
    log.italic = font.italic();
    log.underline = font.underline();
    log.strikeOut = font.strikeOut();
    log.faceName = font.family().toStdU16String().substr(0, 31);
    return log;
}

// The runs of one laid-out line, cut at tabs and line breaks, which are
// spaces on paper, not glyphs.
void LineRuns(const QTextBlock& block, const QTextLine& line, QPointF origin, double dpi,
              std::vector<TextRun>& page)
{
    const int lineStart = line.textStart();
    const int lineEnd = lineStart + line.textLength();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const int fragStart = fragment.position() - block.position();
        const int from = std::max(lineStart, fragStart);
        const int to = std::min(lineEnd, fragStart + fragment.length());
        const QString text = block.text();
        for (int start = from; start < to;) {
            while (start < to && (text[start] == '\t' || text[start] == QChar::LineSeparator))
                ++start;
            int end = start;
            while (end < to && text[end] != '\t' && text[end] != QChar::LineSeparator)
                ++end;
            if (end > start) {
                TextRun run;
                run.origin = {origin.x() + line.cursorToX(start), origin.y() + line.y() + line.ascent()};
                run.text = text.mid(start, end - start).toStdU16String();
                for (int i = start; i < end; ++i)
                    run.dx.push_back(line.cursorToX(i + 1) - line.cursorToX(i));
                run.font = LogFontOf(fragment.charFormat().font(), dpi);
                const QBrush brush = fragment.charFormat().foreground();
                const QColor color = brush.style() == Qt::NoBrush ? QColor(Qt::black) : brush.color();
                run.color = rgb(color.red(), color.green(), color.blue());
                run.bkMode = TRANSPARENT;
                run.align = 24; // TA_BASELINE
                page.push_back(std::move(run));
            }
            start = end;
        }
    }
}

} // namespace

void PrintRichText(const QTextDocument& Document, Printer& Target, const std::string& Title)
{
    const PrinterCaps caps = Target.caps();
    const double dpi = caps.logPixelsY > 0 ? caps.logPixelsY : 600;
    // Lay the text out in the printer's own pixels, so what is measured is printed.
    QImage metrics(1, 1, QImage::Format_Mono);
    metrics.setDotsPerMeterX(static_cast<int>(std::lround(caps.logPixelsX / 0.0254)));
    metrics.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    std::unique_ptr<QTextDocument> copy(Document.clone());
    copy->documentLayout()->setPaintDevice(&metrics);
    // Frame margins are in 96-per-inch units, which the layout scales to the device.
    copy->setDocumentMargin(96.0 / 2);
    const QSizeF pageSize(caps.horzRes, caps.vertRes);
    copy->setPageSize(pageSize);
    copy->pageCount(); // lays the whole text out; the layout is lazy otherwise

    std::vector<std::vector<TextRun>> pages(1);
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        const QPointF at = layout->position();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const double top = at.y() + line.y();
            const auto index = static_cast<std::size_t>(std::max(0.0, std::floor(top / pageSize.height())));
            if (pages.size() <= index)
                pages.resize(index + 1);
            const QPointF origin(at.x(), at.y() - static_cast<double>(index) * pageSize.height());
            LineRuns(block, line, origin, dpi, pages[index]);
        }
    }

    PageSpace space;
    space.widthPx = caps.horzRes;
    space.heightPx = caps.vertRes;
    space.widthMm = caps.horzSizeMm;
    space.heightMm = caps.vertSizeMm;
    space.frame = {0, 0, caps.horzSizeMm * 100, caps.vertSizeMm * 100};
    std::unique_ptr<PrintDocument> output = Target.beginDocument(Title);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0)
            output->newPage();
        output->device().beginPage(space);
        for (const TextRun& run : pages[i])
            output->device().text(run);
        output->device().endPage();
    }
    output->end();
}

} // namespace velm
