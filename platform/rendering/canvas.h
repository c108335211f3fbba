// What a page player needs from its target once GDI's pixel rules have been
// applied: filled areas, stroked outlines and placed glyphs, in reference
// pixels (y down). GdiDevice (gdi_device.h) decides what to draw; a canvas
// only draws it: PainterCanvas onto a QPainter (screen, image),
// PdfCanvas into a PDF file of our own.
#pragma once

#include "platform/metafile/page_device.h"

#include <QBrush>
#include <QColor>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRawFont>
#include <QRectF>
#include <QTransform>

#include <span>

namespace velm {

// Drawing calls never throw (a canvas that writes reports failures when
// its page or document ends), so playback through GdiDevice never does.
class Canvas {
public:
    virtual ~Canvas() = default;

    // One device pixel in reference pixels: GDI never draws a line thinner.
    virtual double devicePixel() const = 0;

    // A stored page is played between these. beginPage clips to `page` when
    // clipToPage is set; resetClip() returns to the clip beginPage made.
    // placement maps the page's pixels onto the sheet's (several pages
    // scaled onto one sheet); `page` is in the page's pixels.
    virtual void beginPage(const QRectF& page, bool clipToPage, const QTransform& placement = {}) = 0;
    virtual void endPage() = 0;
    virtual void intersectClip(const QRectF& box) = 0;
    virtual void resetClip() = 0;

    // A transform for what follows, undone by popTransform (calls pair up
    // within one drawing call of the player; clips are not touched between).
    virtual void pushTransform(const QTransform& transform) = 0;
    virtual void popTransform() = 0;

    // Solid colour or one of Qt's hatch patterns (on a transparent ground).
    virtual void fillRect(const QRectF& area, const QBrush& brush) = 0;
    virtual void fillPath(const QPainterPath& path, const QBrush& brush) = 0;
    // An open polyline through the points; closed when the last point equals
    // the first. Width 0 is the thinnest line the target draws.
    virtual void strokePolyline(const QPolygonF& points, const QPen& pen) = 0;
    // Glyphs of one face at positions relative to `origin` (the baseline
    // start); chars[i] is the character glyphs[i] stands for, so text stays
    // extractable where the target keeps text. Shaped glyphs come with
    // their source (one cluster entry a glyph): the logical text, for the
    // clusters that are not one glyph for one character.
    virtual void drawGlyphs(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                            std::span<const QPointF> positions, std::span<const char32_t> chars,
                            const QColor& color, const TextSource* source = nullptr) = 0;
};

} // namespace velm
