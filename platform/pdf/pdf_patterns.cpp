#include "platform/pdf/pdf_writer.h"

namespace velm {
namespace {

int hatchIndex(Qt::BrushStyle style)
{
    switch (style) {
    case Qt::HorPattern: return 1;
    case Qt::VerPattern: return 2;
    case Qt::CrossPattern: return 3;
    case Qt::FDiagPattern: return 4;
    case Qt::BDiagPattern: return 5;
    case Qt::DiagCrossPattern: return 6;
    default: return 0;
    }
}

// One 8 x 8 cell of a hatch in device pixels, y down, 1-pixel lines; the
// diagonals run past the cell so that neighbouring cells join without notches.
std::string hatchCell(int hatch)
{
    std::string cell;
    if (hatch == 1 || hatch == 3)
        cell += "0 0 8 1 re f\n";
    if (hatch == 2 || hatch == 3)
        cell += "0 0 1 8 re f\n";
    if (hatch >= 4)
        cell += "1 w 0 J\n";
    if (hatch == 4 || hatch == 6)
        cell += "-1 -1 m 9 9 l 7 -1 m 9 1 l -1 7 m 1 9 l S\n";
    if (hatch == 5 || hatch == 6)
        cell += "-1 9 m 9 -1 l -1 1 m 1 -1 l 7 9 m 9 7 l S\n";
    return cell;
}

} // namespace

int PdfCanvas::Writer::patternFor(int hatch)
{
    auto [it, fresh] = patterns.try_emplace({hatch, sheetMatrix}, 0);
    if (fresh) {
        it->second = allocate();
        newPatterns.emplace_back(it->second, hatch);
        patternResources += "/P";
        appendInt(patternResources, it->second);
        patternResources += ' ';
        appendInt(patternResources, it->second);
        patternResources += " 0 R";
    }
    return it->second;
}

void PdfCanvas::Writer::writeNewPatterns()
{
    const std::string entries = "/Type/Pattern/PatternType 1/PaintType 2/TilingType 1/BBox[0 0 8 8]"
                                "/XStep 8/YStep 8/Resources<<>>/Matrix[" + sheetMatrix + "]";
    for (const auto& [number, hatch] : newPatterns)
        writeStream(number, entries, hatchCell(hatch), false);
    newPatterns.clear();
}

bool PdfCanvas::Writer::paint(const QBrush& brush)
{
    if (brush.style() == Qt::NoBrush || brush.color().alpha() == 0)
        return false;
    const int hatch = hatchIndex(brush.style());
    if (hatch == 0)
        content.fillColor(brush.color());
    else
        content.fillPattern(patternFor(hatch), brush.color());
    return true;
}

} // namespace velm
