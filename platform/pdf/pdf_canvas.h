// A PDF writer of our own behind the Canvas interface: pages are written as
// they are drawn, fonts (embedded, subset, with extractable text) at the end.
//
// Coordinates are reference pixels, y down; each sheet maps them to points
// through its PdfPageBox. One reference pixel is one device pixel.
// Non-finite or absurd coordinates never reach the file: such shapes are
// skipped and huge values clamped. Drawing calls outside a sheet (before
// startSheet, after finishSheet or finish) are ignored.
//
// Errors: only the calls that write (the constructor, startSheet,
// finishSheet, finish) throw, PdfWriteError when a write fails. Drawing
// calls never throw: they only build the open sheet's content, so a
// metafile played onto the canvas keeps its promise never to throw, and a
// failure is reported when the sheet or the document ends.
#pragma once

#include "platform/core/errors.h"
#include "platform/rendering/canvas.h"

#include <cstdint>
#include <memory>
#include <string>

namespace velm {

// One sheet.
struct PdfPageBox {
    double widthPt = 0, heightPt = 0;        // MediaBox, portrait or landscape as given
    double originXPt = 0, originYPt = 0;     // where reference pixel (0,0) lies, measured from the paper's top-left
    double ptPerPixelX = 0, ptPerPixelY = 0; // points per reference pixel on each axis
};

// A write to the file failed; what() is the reason (strerror text). The file
// is incomplete: the caller removes it. Once a write failed, every later
// call that writes throws it again, so a broken file is never finished as
// if it were sound.
class PdfWriteError : public VelmError {
    using VelmError::VelmError;
};

class PdfCanvas : public Canvas {
public:
    // Writes to fd (never closed by the canvas), buffered. Title and creator
    // go to the Info dictionary. Throws PdfWriteError when the header cannot
    // be written. Destroyed without finish(), the file stays incomplete.
    PdfCanvas(int fd, const std::string& title, const std::string& creator);
    ~PdfCanvas() override;
    PdfCanvas(const PdfCanvas&) = delete;
    PdfCanvas& operator=(const PdfCanvas&) = delete;

    // A new page; a sheet still open is finished first. A box with a
    // non-positive or non-finite size falls back to A4 at 72 dpi. Throws
    // PdfWriteError.
    void startSheet(const PdfPageBox& box);
    // Closes whatever the sheet left open and writes its content and the
    // patterns it used first. Throws PdfWriteError.
    void finishSheet();
    // Finishes the open sheet, then writes fonts, page tree, info, xref and
    // trailer, and flushes. After it nothing more is drawn; a second call
    // does nothing. A document without sheets gets one blank A4 sheet.
    // The same drawing makes the same bytes when SOURCE_DATE_EPOCH is set:
    // it gives the creation date, and the /ID is a checksum of the content.
    // Throws PdfWriteError.
    void finish();
    int sheetCount() const;
    // Bytes handed to the file so far (all of them after finish()).
    std::uint64_t bytesWritten() const;
    // Deflate level of the content streams, 0 (none) to 9; 1 by default.
    void setCompressionLevel(int level);

    // Drawing: never throws, whatever became of the file.
    double devicePixel() const override;
    void beginPage(const QRectF& page, bool clipToPage, const QTransform& placement = {}) override;
    void endPage() override;
    void intersectClip(const QRectF& box) override;
    void resetClip() override;
    void pushTransform(const QTransform& transform) override;
    void popTransform() override;
    void fillRect(const QRectF& area, const QBrush& brush) override;
    void fillPath(const QPainterPath& path, const QBrush& brush) override;
    void strokePolyline(const QPolygonF& points, const QPen& pen) override;
    void drawGlyphs(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                    std::span<const QPointF> positions, std::span<const char32_t> chars,
                    const QColor& color, const TextSource* source = nullptr) override;

private:
    struct Writer;
    std::unique_ptr<Writer> d;
};

} // namespace velm
