#include "platform/pdf/pdf_canvas.h"

#include "platform/core/clock.h"
#include "platform/core/codepage.h"
#include "platform/pdf/pdf_writer.h"

#include <ctime>

namespace velm {
namespace {

// Text read as the engine reads it, so a Windows-1252 title keeps its letters.
std::string utf16Hex(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    for (char16_t u : toUnicode(text))
        for (int shift = 12; shift >= 0; shift -= 4)
            out += kHex[(u >> shift) & 15];
    return out + ">";
}

} // namespace

// ---- PdfCanvas --------------------------------------------------------------

PdfCanvas::PdfCanvas(int fd, const std::string& title, const std::string& creator)
    : d(std::make_unique<Writer>(fd))
{
    d->title = title;
    d->creator = creator;
    d->out += "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    d->flush();
}

PdfCanvas::~PdfCanvas() = default;

void PdfCanvas::setCompressionLevel(int level) { d->level = std::clamp(level, 0, 9); }
int PdfCanvas::sheetCount() const { return static_cast<int>(d->pages.size()) + (d->inSheet ? 1 : 0); }
std::uint64_t PdfCanvas::bytesWritten() const { return d->flushed + d->out.size(); }
double PdfCanvas::devicePixel() const { return 1.0; }

void PdfCanvas::startSheet(const PdfPageBox& box)
{
    d->throwIfFailed();
    if (d->finished)
        return;
    finishSheet();
    PdfPageBox b = box;
    const auto usable = [](double v) { return std::isfinite(v) && v > 0 && v < 1e5; };
    if (!usable(b.widthPt) || !usable(b.heightPt)) {
        b.widthPt = 595.28;
        b.heightPt = 841.89;
    }
    if (!usable(b.ptPerPixelX) || !usable(b.ptPerPixelY))
        b.ptPerPixelX = b.ptPerPixelY = 1;
    if (!std::isfinite(b.originXPt) || !std::isfinite(b.originYPt))
        b.originXPt = b.originYPt = 0;
    d->box = b;
    d->inSheet = true;
    // Reference pixels, y down, onto points, y up.
    d->sheetMatrix.clear();
    for (double v : {b.ptPerPixelX, 0.0, 0.0, -b.ptPerPixelY, b.originXPt, b.heightPt - b.originYPt}) {
        appendNumber(d->sheetMatrix, std::clamp(v, -kLimit, kLimit), 6);
        d->sheetMatrix += ' ';
    }
    d->sheetMatrix.pop_back();
    d->content.start(d->sheetMatrix);
}

void PdfCanvas::finishSheet()
{
    d->throwIfFailed();
    if (!d->inSheet)
        return;
    d->content.close();
    d->inSheet = false;
    d->writeEndedSheet();
    d->writeNewPatterns();
    const Writer::EndedSheet sheet{d->allocate(), d->allocate(), d->box.widthPt, d->box.heightPt};
    d->pages.push_back(sheet.page);
    if (d->level > 0) {
        d->sheetDeflater.give(d->content.bytes(), d->level);
        d->ended = sheet;
    } else {
        d->writeStream(sheet.contents, "", d->content.bytes(), false);
        d->writePageObject(sheet);
    }
}

void PdfCanvas::finish()
{
    d->throwIfFailed();
    if (d->finished)
        return;
    // Readers reject an empty page tree: a document without sheets gets a blank one.
    if (d->pages.empty() && !d->inSheet)
        startSheet(PdfPageBox{});
    finishSheet();
    d->writeEndedSheet();
    d->finished = true;
    d->fonts.write(*d);

    std::string resources = "<</ProcSet[/PDF/Text]/Font<<";
    d->fonts.appendResources(resources);
    resources += ">>";
    if (!d->patternResources.empty())
        resources += "/Pattern<<" + d->patternResources + ">>/ColorSpace<</Hp[/Pattern/DeviceRGB]>>";
    resources += ">>";
    d->object(Writer::kResources, resources);

    std::string tree = "<</Type/Pages/Kids[";
    for (int page : d->pages) {
        appendInt(tree, page);
        tree += " 0 R ";
    }
    tree += "]/Count ";
    appendInt(tree, static_cast<long long>(d->pages.size()));
    d->object(Writer::kPages, tree + ">>");
    // CFF font programs in OpenType wrappers came with PDF 1.6.
    d->object(Writer::kCatalog,
              std::string("<</Type/Catalog/Pages 2 0 R") + (d->fonts.anyCff() ? "/Version/1.6" : "") + ">>");

    const std::time_t made = documentTime();
    std::tm utc{};
    gmtime_r(&made, &utc);
    char date[32];
    std::strftime(date, sizeof date, "D:%Y%m%d%H%M%SZ", &utc);
    d->object(Writer::kInfo, "<</Title" + utf16Hex(d->title) + "/Creator" + utf16Hex(d->creator) +
                                 "/Producer" + utf16Hex(d->creator) + "/CreationDate(" + date + ")>>");

    d->writeTrailer();
}

void PdfCanvas::beginPage(const QRectF& page, bool clipToPage, const QTransform& placement)
{
    if (!d->inSheet)
        return;
    endPage();
    d->content.push(Level::Page);
    if (!placement.isIdentity()) {
        // A placement PDF cannot state leaves the page off the sheet.
        const bool usable = pdf::statable(placement);
        d->content.push(usable ? Level::Transform : Level::BlockedTransform);
        if (usable)
            d->content.transform(placement);
    }
    const QRectF r = pdf::saneRect(page);
    if (clipToPage && !r.isNull())
        d->content.clip(r);
    d->content.push(Level::FileClip);
}

void PdfCanvas::endPage()
{
    if (!d->inSheet || !d->content.has(Level::Page))
        return;
    while (d->content.innermost() != Level::Page)
        d->content.pop();
    d->content.pop();
}

void PdfCanvas::intersectClip(const QRectF& box)
{
    if (!d->inSheet || !std::isfinite(box.x()) || !std::isfinite(box.y()) || !std::isfinite(box.width()) ||
        !std::isfinite(box.height()))
        return;
    // An empty box clips everything away, as an empty clip region does.
    const QRectF r = pdf::saneRect(box);
    d->content.clip(r.isValid() ? r : QRectF(clamped(box.x()), clamped(box.y()), 0, 0));
}

void PdfCanvas::resetClip()
{
    if (!d->inSheet || !d->content.has(Level::FileClip))
        return;
    while (d->content.innermost() != Level::FileClip)
        d->content.pop();
    d->content.pop();
    d->content.push(Level::FileClip);
}

void PdfCanvas::pushTransform(const QTransform& t)
{
    if (!d->inSheet)
        return;
    // Nothing drawn under a matrix PDF cannot state shows on the page.
    const bool usable = pdf::statable(t);
    d->content.push(usable ? Level::Transform : Level::BlockedTransform);
    if (usable)
        d->content.transform(t);
}

void PdfCanvas::popTransform()
{
    const std::optional<Level> innermost = d->content.innermost();
    if (d->inSheet && (innermost == Level::Transform || innermost == Level::BlockedTransform))
        d->content.pop();
}

void PdfCanvas::fillRect(const QRectF& area, const QBrush& brush)
{
    if (!d->drawable())
        return;
    const QRectF r = pdf::saneRect(area);
    if (!(r.width() > 0) || !(r.height() > 0))
        return;
    d->content.endText();
    if (d->paint(brush))
        d->content.fill(r);
}

void PdfCanvas::fillPath(const QPainterPath& path, const QBrush& brush)
{
    if (!d->drawable() || path.elementCount() < 2 || !pdf::finitePath(path))
        return;
    d->content.endText();
    if (d->paint(brush))
        d->content.fill(path);
}

void PdfCanvas::strokePolyline(const QPolygonF& points, const QPen& pen)
{
    if (!d->drawable() || pen.style() == Qt::NoPen || pen.color().alpha() == 0)
        return;
    QPolygonF kept;
    kept.reserve(points.size());
    std::copy_if(points.begin(), points.end(), std::back_inserter(kept), [](const QPointF& p) { return finite(p); });
    if (kept.size() < 2)
        return;
    const bool closed = kept.size() >= 3 && kept.front() == kept.back();
    d->content.endText();
    d->content.pen(pen);
    d->content.stroke(kept, closed);
}

void PdfCanvas::drawGlyphs(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                           std::span<const QPointF> positions, std::span<const char32_t> chars,
                           const QColor& color, const TextSource* source)
{
    if (!d->drawable() || glyphs.empty() || !font.isValid() || !finite(origin) || color.alpha() == 0)
        return;
    glyphs = glyphs.first(std::min(glyphs.size(), positions.size()));
    pdf::PdfFace& face = d->fonts.faceFor(font);
    if (source && source->clusters.size() == glyphs.size() && !face.outlines) {
        d->drawShaped(origin, font, face, glyphs, positions.first(glyphs.size()), *source, color);
        return;
    }
    d->drawFaceGlyphs(origin, font, face, glyphs, positions, chars, color);
}

} // namespace velm
