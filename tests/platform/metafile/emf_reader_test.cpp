// The reader: every record the recorder writes comes back as the device
// call it stands for, playback state and mapping behave as GDI's, and
// damaged files are reported and played as far as they are sound.
#include "support/emf_test_support.h"

#include "platform/core/codepage.h"
#include "platform/metafile/emf_reader.h"
#include "platform/metafile/emf_text_source.h"
#include "support/played.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace velm {
namespace {

using emftest::Bytes;
using emftest::RawEmf;
using emftest::kPrinterPage;
using emftest::word;
using testing::TempDir;

Played play(const Bytes& bytes)
{
    Played p;
    p.result = EmfReader(bytes).play(p.log);
    return p;
}

using Numbers = std::vector<double>;

// An EXTTEXTOUTA/W record as GDI lays it out (or with ETO_NO_RECT, without rcl).
Bytes textRecord(std::uint32_t type, int x, int y, const Bytes& string, std::uint32_t chars,
                 const std::vector<int>& advances, std::uint32_t options = 0, Rect box = {0, 0, -1, -1})
{
    Bytes r;
    emftest::put32(r, type);
    emftest::put32(r, 0);
    for (int v : {0, 0, -1, -1})
        emftest::put32(r, word(v));
    emftest::put32(r, 1);
    emftest::put32(r, 0);
    emftest::put32(r, 0);
    emftest::put32(r, word(x));
    emftest::put32(r, word(y));
    emftest::put32(r, chars);
    const bool noRect = options & emf::kEtoNoRect;
    const std::uint32_t offString = noRect ? 60 : 76;
    emftest::put32(r, offString);
    emftest::put32(r, options);
    if (!noRect)
        for (int v : {box.left, box.top, box.right, box.bottom})
            emftest::put32(r, word(v));
    const std::uint32_t offDx = advances.empty() ? 0 : offString + static_cast<std::uint32_t>((string.size() + 3) & ~3u);
    emftest::put32(r, offDx);
    r.insert(r.end(), string.begin(), string.end());
    while (r.size() % 4)
        r.push_back(0);
    for (int a : advances)
        emftest::put32(r, word(a));
    emf::storeU32(r.data() + 4, static_cast<std::uint32_t>(r.size()));
    return r;
}

Bytes utf16(std::u16string_view s)
{
    Bytes b;
    for (char16_t c : s) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return b;
}

TEST(EmfReader, EveryRecordTheRecorderWritesPlaysBack)
{
    EmfRecorder page(kPrinterPage);
    page.setBkMode(TRANSPARENT);
    page.setBkColor(rgb(1, 2, 3));
    page.setTextColor(rgb(255, 0, 0));
    const LogFont font = emftest::arial(-88);
    const GdiHandle f = page.createFont(font);
    page.selectObject(f);
    page.textOut(160, 391, u"Hello", {50, 50, 20, 20, 50});
    page.textOut(160, 500, u"free", {});
    const GdiHandle thin = page.createPen({PS_SOLID, 1, rgb(0, 0, 0)});
    page.selectObject(thin);
    page.moveTo(100, 200);
    page.lineTo(2000, 200);
    page.lineTo(2000, 300);
    const GdiHandle wide = page.createPen({PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 8, rgb(0, 128, 0)});
    const GdiHandle old = page.selectObject(wide);
    EXPECT_EQ(old, thin);
    page.lineTo(100, 300);
    const GdiHandle white = page.createBrush({BS_SOLID, rgb(255, 255, 255), 0});
    page.fillRect({100, 200, 2000, 300}, white);
    const GdiHandle hatch = page.createBrush({BS_HATCHED, rgb(0, 0, 255), HS_DIAGCROSS});
    page.selectObject(hatch);
    page.rectangle({10, 20, 30, 40});
    page.selectObject(stockObject(NULL_BRUSH));
    page.selectObject(stockObject(NULL_PEN));
    page.rectangle({1, 2, 3, 4});
    page.setTextAlign(TA_BASELINE | TA_RIGHT);
    page.setBkMode(OPAQUE);
    page.textOut(4000, 6000, u"\u00e9\u00ae\u00a9", {30, 30, 30});
    page.deleteObject(f); // still selected: stays in effect
    page.textOut(10, 10, u"still", {1, 1, 1, 1, 1});
    const Bytes bytes = page.finish();

    const Played p = play(bytes);
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    EXPECT_EQ(p.result.recordsPlayed, static_cast<int>(emf::loadU32(&bytes[52])));
    EXPECT_EQ(p.result.recordsSkipped, 0);
    EXPECT_TRUE(p.result.notes.empty()) << p.result.notes.front();
    EXPECT_EQ(p.kinds(), (std::vector<std::string>{"begin", "text", "text", "line", "line", "line", "fill",
                                                   "rectangle", "rectangle", "text", "text", "end"}));

    const auto begin = p.of("begin")[0];
    EXPECT_EQ(begin->numbers, (Numbers{4800, 6600, 203.2, 279.4, 0, 0, 20320, 27940}));

    const auto texts = p.of("text");
    EXPECT_EQ(texts[0]->numbers, (Numbers{160, 391}));
    EXPECT_EQ(texts[0]->line, "text 160 391 'Hello' Arial h=-88 w=400 color=ff0000 advance=190");
    const TextRun& hello = texts[0]->text;
    EXPECT_EQ(hello.text, u"Hello");
    EXPECT_EQ(hello.dx, (Numbers{50, 50, 20, 20, 50}));
    EXPECT_EQ(hello.font, font);
    EXPECT_EQ(hello.color, rgb(255, 0, 0));
    EXPECT_EQ(hello.bkMode, TRANSPARENT);
    EXPECT_EQ(hello.bkColor, rgb(1, 2, 3));
    EXPECT_EQ(hello.align, 0u);
    EXPECT_TRUE(texts[1]->text.dx.empty());
    EXPECT_EQ(toUtf8(texts[2]->text.text), "\u00e9\u00ae\u00a9");
    EXPECT_EQ(texts[2]->text.align, unsigned(TA_BASELINE | TA_RIGHT));
    EXPECT_EQ(texts[2]->text.bkMode, OPAQUE);
    EXPECT_EQ(texts[3]->text.font, font) << "a deleted font that is still selected stays in effect";

    const auto lines = p.of("line");
    EXPECT_EQ(lines[0]->line, "line 100 200 2000 200 pen=0/1/000000");
    EXPECT_EQ(lines[1]->numbers, (Numbers{2000, 200, 2000, 300}));
    EXPECT_EQ(lines[2]->numbers, (Numbers{2000, 300, 100, 300}));
    EXPECT_EQ(lines[2]->pen, (LogPen{PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 8, rgb(0, 128, 0)}));

    const auto fill = p.of("fill")[0];
    EXPECT_EQ(fill->line, "fill 100 200 2000 300 brush=0/ffffff");
    EXPECT_EQ(fill->brush, (LogBrush{BS_SOLID, rgb(255, 255, 255), 0}));

    const auto boxes = p.of("rectangle");
    EXPECT_EQ(boxes[0]->numbers, (Numbers{10, 20, 30, 40}));
    EXPECT_EQ(boxes[0]->brush, (LogBrush{BS_HATCHED, rgb(0, 0, 255), HS_DIAGCROSS}));
    EXPECT_EQ(boxes[0]->pen.width, 8);
    EXPECT_EQ(boxes[1]->pen.style, PS_NULL);
    EXPECT_EQ(boxes[1]->brush.style, BS_NULL);
    EXPECT_EQ(boxes[1]->line, "rectangle 1 2 3 4 pen=5/0/000000 brush=1/000000");
}

TEST(EmfReader, PlaybackStartsFromAFreshDeviceContext)
{
    // No state records at all: GDI's defaults apply (EMF-REFERENCE.md 3.5).
    RawEmf file;
    file.add(emf::EMR_LINETO, {100, 0});
    file.add(emf::EMR_RECTANGLE, {0, 0, 10, 10});
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 5, 6, utf16(u"ab"), 2, {3, 4}));
    const Played p = play(file.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    const auto line = p.of("line")[0];
    EXPECT_EQ(line->numbers, (Numbers{0, 0, 100, 0}));
    EXPECT_EQ(line->pen, (LogPen{PS_SOLID, 0, 0}));
    EXPECT_EQ(p.of("rectangle")[0]->brush, (LogBrush{BS_SOLID, 0xFFFFFF, 0}));
    const TextRun& run = p.of("text")[0]->text;
    EXPECT_EQ(run.bkMode, OPAQUE);
    EXPECT_EQ(run.color, 0u);
    EXPECT_EQ(run.bkColor, 0xFFFFFFu);
    EXPECT_EQ(run.align, 0u);
    EXPECT_EQ(run.font.height, 16);
    EXPECT_EQ(run.font.weight, 700);
}

// The picture frame (rclFrame, 0.01 mm) in reference pixels, as playback
// maps it: for our own pages (0, 0, widthPx, heightPx) within rounding.
RectF frameInPixels(const PageSpace& space)
{
    const double kx = space.widthMm > 0 ? space.widthPx / (space.widthMm * 100) : 0;
    const double ky = space.heightMm > 0 ? space.heightPx / (space.heightMm * 100) : 0;
    return {space.frame.left * kx, space.frame.top * ky, space.frame.right * kx, space.frame.bottom * ky};
}

TEST(EmfReader, FrameMapsToThePageForA600DpiSheetAndForADisplayHeader)
{
    // Our own 600-dpi page: frame = page, 1:1 in reference pixels.
    const EmfReader ours(emftest::samplePage());
    ASSERT_TRUE(ours.isValid());
    const RectF frame = frameInPixels(ours.space());
    EXPECT_NEAR(frame.left, 0, 1e-9);
    EXPECT_NEAR(frame.top, 0, 1e-9);
    EXPECT_NEAR(frame.right, 4800, 0.5);
    EXPECT_NEAR(frame.bottom, 6600, 0.5);

    // A display-sized header (1024 x 768 px, 271 x 203 mm) with an A4 frame,
    // drawn in 600-dpi units under MM_ANISOTROPIC (EMF-REFERENCE.md 3.1 (b)):
    // the far corner of the drawing lands on the far corner of the frame.
    RawEmf display(1024, 768, 271, 203, 108, 271000, 203000);
    Bytes bytes;
    {
        const double fw = 21000 * 1024.0 / 27100, fh = 29700 * 768.0 / 20300;
        display.add(emf::EMR_SETMAPMODE, {MM_ANISOTROPIC});
        display.add(emf::EMR_SETWINDOWEXTEX, {4961, 7016});
        display.add(emf::EMR_SETVIEWPORTEXTEX, {word(static_cast<int>(std::lround(fw))), word(static_cast<int>(std::lround(fh)))});
        display.add(emf::EMR_MOVETOEX, {0, 0});
        display.add(emf::EMR_LINETO, {4961, 7016});
        bytes = display.finish();
    }
    std::vector<std::uint8_t> withFrame = bytes;
    emf::storeI32(withFrame.data() + 24 + 8, 21000);
    emf::storeI32(withFrame.data() + 24 + 12, 29700);
    const EmfReader reader(withFrame);
    ASSERT_TRUE(reader.isValid());
    const RectF a4 = frameInPixels(reader.space());
    Played p;
    p.result = reader.play(p.log);
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    const auto line = p.of("line")[0];
    EXPECT_NEAR(line->numbers[2], a4.right, 0.6);
    EXPECT_NEAR(line->numbers[3], a4.bottom, 0.6);
    EXPECT_NEAR(a4.right, 793.5, 0.5);
    EXPECT_NEAR(a4.bottom, 1123.6, 0.5);
}

TEST(EmfReader, WindowAndViewportMappingScalesCoordinatesPensAndFonts)
{
    RawEmf file; // 600 dpi, 4800 x 6600
    // MM_TEXT: origins apply, extents do not.
    file.add(emf::EMR_SETWINDOWORGEX, {100, 50});
    file.add(emf::EMR_SETWINDOWEXTEX, {10, 10});
    file.add(emf::EMR_MOVETOEX, {100, 50});
    file.add(emf::EMR_LINETO, {200, 50});
    // MM_ANISOTROPIC: window 1000 x 1000 onto viewport 500 x 2000 at (10, 20).
    file.add(emf::EMR_SETMAPMODE, {MM_ANISOTROPIC});
    file.add(emf::EMR_SETWINDOWORGEX, {0, 0});
    file.add(emf::EMR_SETWINDOWEXTEX, {1000, 1000});
    file.add(emf::EMR_SETVIEWPORTEXTEX, {500, 2000});
    file.add(emf::EMR_SETVIEWPORTORGEX, {10, 20});
    file.add(emf::EMR_CREATEPEN, {1, PS_SOLID, 4, 0, 0});
    file.add(emf::EMR_SELECTOBJECT, {1});
    file.add(emf::EMR_MOVETOEX, {0, 0});
    file.add(emf::EMR_LINETO, {1000, 1000});
    // MM_ISOTROPIC keeps the aspect: the smaller scale (0.5) on both axes.
    file.add(emf::EMR_SETMAPMODE, {MM_ISOTROPIC});
    file.add(emf::EMR_SETVIEWPORTORGEX, {0, 0});
    file.add(emf::EMR_SETWINDOWEXTEX, {1000, 1000});
    file.add(emf::EMR_SETVIEWPORTEXTEX, {500, 2000});
    file.add(emf::EMR_MOVETOEX, {0, 0});
    file.add(emf::EMR_LINETO, {1000, 1000});
    Bytes font = emftest::record(emf::EMR_EXTCREATEFONTINDIRECTW, {2, word(-100), 0, 0, 0, 400});
    font.resize(104, 0);
    emf::storeU32(font.data() + 4, 104);
    file.add(font);
    file.add(emf::EMR_SELECTOBJECT, {2});
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 200, 400, utf16(u"ab"), 2, {60, 40}));
    // MM_LOMETRIC: 0.1 mm, y up.
    file.add(emf::EMR_SETMAPMODE, {MM_LOMETRIC});
    file.add(emf::EMR_SETWINDOWORGEX, {0, 0});
    file.add(emf::EMR_MOVETOEX, {0, 0});
    file.add(emf::EMR_LINETO, {254, word(-254)});
    const Played p = play(file.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    const auto lines = p.of("line");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]->numbers, (Numbers{0, 0, 100, 0}));
    EXPECT_EQ(lines[1]->numbers, (Numbers{10, 20, 510, 2020}));
    EXPECT_EQ(lines[1]->line, "line 10 20 510 2020 pen=0/4/000000 scale=0.5");
    EXPECT_EQ(lines[2]->numbers, (Numbers{0, 0, 500, 500}));
    EXPECT_NEAR(lines[3]->numbers[2], 600, 1e-9); // 25.4 mm at 600 dpi, y up
    EXPECT_NEAR(lines[3]->numbers[3], 600, 1e-9);
    const TextRun& run = p.of("text")[0]->text;
    EXPECT_EQ(run.origin, (PointF{100, 200}));
    EXPECT_EQ(run.font.height, -50);
    EXPECT_EQ(run.dx, (Numbers{30, 20}));
    EXPECT_DOUBLE_EQ(run.scaleX, 0.5);
    EXPECT_DOUBLE_EQ(run.scaleY, 0.5);
}

TEST(EmfReader, SaveAndRestoreObjectsStockAndDeletedObjects)
{
    RawEmf file;
    file.add(emf::EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, rgb(255, 0, 0), 0});
    file.add(emf::EMR_SELECTOBJECT, {1});
    file.add(emf::EMR_SETTEXTCOLOR, {rgb(0, 255, 0)});
    file.add(emf::EMR_SAVEDC, {});
    file.add(emf::EMR_SELECTOBJECT, {0x80000004}); // BLACK_BRUSH
    file.add(emf::EMR_SETTEXTCOLOR, {rgb(0, 0, 255)});
    file.add(emf::EMR_INTERSECTCLIPRECT, {10, 10, 100, 100});
    file.add(emf::EMR_INTERSECTCLIPRECT, {50, 0, 200, 80});
    file.add(emf::EMR_BITBLT, {0, 0, 0, 0, 0, 0, 5, 5, emf::kPatCopy}); // padded to 100 below
    file.add(emf::EMR_RESTOREDC, {word(-1)});
    file.add(emf::EMR_BITBLT, {0, 0, 0, 0, 0, 0, 5, 5, emf::kPatCopy});
    file.add(emf::EMR_RESTOREDC, {word(-5)});                      // nothing saved any more: ignored
    file.add(emf::EMR_DELETEOBJECT, {1});                          // selected: stays in effect
    file.add(emf::EMR_BITBLT, {0, 0, 0, 0, 0, 0, 5, 5, emf::kPatCopy});
    file.add(emf::EMR_SELECTOBJECT, {1});                          // deleted: nothing to select
    file.add(emf::EMR_DELETEOBJECT, {0x80000000});                 // stock: ignored
    file.add(emf::EMR_SELECTOBJECT, {0x80000008});                 // NULL_PEN
    file.add(emf::EMR_LINETO, {5, 5});
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"c"), 1, {}));
    Bytes bytes = file.finish();
    // Blits are 100 bytes: widen the three short ones in place.
    Bytes fixed;
    for (const auto& r : emftest::walk(bytes)) {
        Bytes rec(bytes.begin() + static_cast<long>(r.offset), bytes.begin() + static_cast<long>(r.offset + r.size));
        if (r.type == emf::EMR_BITBLT) {
            rec.resize(100, 0);
            emf::storeU32(rec.data() + 4, 100);
        }
        fixed.insert(fixed.end(), rec.begin(), rec.end());
    }
    emf::storeU32(fixed.data() + 48, static_cast<std::uint32_t>(fixed.size()));
    const Played p = play(fixed);
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    const auto fills = p.of("fill");
    ASSERT_EQ(fills.size(), 3u);
    EXPECT_EQ(fills[0]->brush.color, 0u);
    EXPECT_EQ(fills[1]->brush.color, rgb(255, 0, 0)) << "RESTOREDC brought the brush back";
    EXPECT_EQ(fills[2]->brush.color, rgb(255, 0, 0));
    EXPECT_EQ(fills[0]->numbers, (Numbers{0, 0, 5, 5}));
    EXPECT_EQ(p.of("line")[0]->pen.style, PS_NULL);
    EXPECT_EQ(p.of("text")[0]->text.color, rgb(0, 255, 0));
    // The clip: intersected twice, then dropped by RESTOREDC.
    EXPECT_EQ(p.kinds(), (std::vector<std::string>{"begin", "clip", "clip", "fill", "unclip", "fill", "fill",
                                                   "line", "text", "end"}));
    EXPECT_EQ(p.of("clip")[0]->numbers, (Numbers{10, 10, 100, 100}));
    EXPECT_EQ(p.of("clip")[1]->numbers, (Numbers{50, 10, 100, 80}));
    EXPECT_TRUE(p.noted("RESTOREDC -5"));
    EXPECT_TRUE(p.noted("no object 1 to select"));
}

TEST(EmfReader, TextRecordsInAllTheirForms)
{
    RawEmf file;
    // EXTTEXTOUTA in Windows-1252: 0x80 is the euro sign, not UTF-8.
    file.add(textRecord(emf::EMR_EXTTEXTOUTA, 10, 20, Bytes{0x80, 0xE9, 0xC3, 0xA9}, 4, {10, 11, 12, 13}));
    // ETO_NO_RECT: no rcl, offDx at 56.
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 30, 40, utf16(u"no"), 2, {7, 8}, emf::kEtoNoRect));
    // ETO_PDY: (dx, dy) pairs.
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"xy"), 2, {5, 1, 6, 2}, emf::kEtoPdy));
    // ETO_OPAQUE fills its rectangle with the background colour even when
    // transparent; ETO_CLIPPED clips to it for the text only.
    file.add(emf::EMR_SETBKMODE, {TRANSPARENT});
    file.add(emf::EMR_SETBKCOLOR, {rgb(9, 9, 9)});
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 100, 100, utf16(u"box"), 3, {}, emf::kEtoOpaque | emf::kEtoClipped,
                        {90, 95, 300, 200}));
    // No characters: only the opaque box.
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, {}, 0, {}, emf::kEtoOpaque, {1, 2, 3, 4}));
    // TA_UPDATECP: the current position is the reference and moves by the advances.
    file.add(emf::EMR_MOVETOEX, {1000, 500});
    file.add(emf::EMR_SETTEXTALIGN, {TA_UPDATECP});
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"ab"), 2, {30, 40}));
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"cd"), 2, {5, 5}));
    file.add(emf::EMR_SETTEXTALIGN, {TA_UPDATECP | TA_RIGHT});
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"ef"), 2, {50, 50}));
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"gh"), 2, {1, 1}));
    const Played p = play(file.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    const auto texts = p.of("text");
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(texts[0]->text.text, u"\u20ac\u00e9\u00c3\u00a9");
    EXPECT_EQ(texts[0]->text.dx, (Numbers{10, 11, 12, 13}));
    EXPECT_EQ(texts[1]->text.text, u"no");
    EXPECT_EQ(texts[1]->text.dx, (Numbers{7, 8}));
    EXPECT_EQ(texts[1]->numbers, (Numbers{30, 40}));
    EXPECT_EQ(texts[2]->text.dx, (Numbers{5, 6}));
    EXPECT_EQ(texts[2]->text.dy, (Numbers{-1, -2})) << "GDI counts vertical advances upwards";
    EXPECT_EQ(texts[4]->numbers, (Numbers{1000, 500}));
    EXPECT_EQ(texts[5]->numbers, (Numbers{1070, 500}));
    EXPECT_EQ(texts[6]->numbers, (Numbers{1080, 500}));
    EXPECT_EQ(texts[7]->numbers, (Numbers{980, 500}));
    const auto fills = p.of("fill");
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0]->numbers, (Numbers{90, 95, 300, 200}));
    EXPECT_EQ(fills[0]->brush.color, rgb(9, 9, 9));
    EXPECT_EQ(fills[1]->numbers, (Numbers{1, 2, 3, 4}));
    // The clip around "box" only.
    const auto kinds = p.kinds();
    const auto box = std::find(kinds.begin(), kinds.end(), "fill") - kinds.begin();
    EXPECT_EQ(std::vector<std::string>(kinds.begin() + box, kinds.begin() + box + 4),
              (std::vector<std::string>{"fill", "clip", "text", "unclip"}));
    EXPECT_EQ(p.of("clip")[0]->numbers, (Numbers{90, 95, 300, 200}));
}

TEST(EmfReader, GlyphIndexTextComesWithTheSourceItsCommentNames)
{
    const std::uint16_t glyphs[] = {36, 55, 70};
    const int dx[] = {10, 0, 12}, up[] = {0, 5, -5};
    const TextSource source{u"ab\u0301", {0, 1, 1}, true};
    EmfRecorder page(kPrinterPage);
    page.glyphsOut(100, 200, glyphs, dx, up, source);
    page.glyphsOut(300, 200, glyphs, dx, {}, {}); // as another program writes them: no comment
    Played p = play(page.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    auto texts = p.of("text");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(texts[0]->text.glyphIndex);
    EXPECT_EQ(texts[0]->text.text, (std::u16string{36, 55, 70}));
    EXPECT_EQ(texts[0]->text.source, source);
    EXPECT_EQ(texts[0]->text.dx, (Numbers{10, 0, 12}));
    EXPECT_EQ(texts[0]->text.dy, (Numbers{0, -5, 5})) << "page pixels run down";
    EXPECT_TRUE(texts[1]->text.glyphIndex);
    EXPECT_EQ(texts[1]->text.source, TextSource{});
    EXPECT_TRUE(texts[1]->text.dy.empty());

    // A source names only the text record right after it, and only when it
    // maps every glyph; a comment cut short is damage.
    const std::vector<std::uint8_t> named = emf::encodeTextSource(source);
    const auto comment = [](const std::vector<std::uint8_t>& data, std::uint32_t claimed) {
        Bytes r;
        emftest::put32(r, emf::EMR_COMMENT);
        emftest::put32(r, static_cast<std::uint32_t>(12 + data.size()));
        emftest::put32(r, claimed);
        r.insert(r.end(), data.begin(), data.end());
        return r;
    };
    RawEmf file;
    file.add(comment(named, static_cast<std::uint32_t>(named.size())));
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"abc"), 3, {}));
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"$7F"), 3, {}, emf::kEtoGlyphIndex));
    file.add(comment(named, static_cast<std::uint32_t>(named.size())));
    file.add(textRecord(emf::EMR_EXTTEXTOUTW, 0, 0, utf16(u"$7"), 2, {}, emf::kEtoGlyphIndex));
    file.add(comment(named, static_cast<std::uint32_t>(named.size()) + 4));
    p = play(file.finish());
    texts = p.of("text");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_FALSE(texts[0]->text.glyphIndex);
    for (const auto* t : texts)
        EXPECT_EQ(t->text.source, TextSource{});
    EXPECT_NE(p.result.problem.find("record 7 (EMR_COMMENT) at byte 460 has data past its end"), std::string::npos)
        << p.result.problem;
}

TEST(EmfReader, PolygonsRegionsAndBlits)
{
    RawEmf file;
    file.add(emf::EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, rgb(0, 0, 255), 0});
    file.add(emf::EMR_CREATEBRUSHINDIRECT, {2, BS_HATCHED, rgb(255, 0, 0), HS_CROSS});
    file.add(emf::EMR_SELECTOBJECT, {2});
    file.add(emf::EMR_SETPOLYFILLMODE, {WINDING});
    file.add(emf::EMR_POLYLINE16, {0, 0, 0, 0, 3, 0x00020001, 0x00040003, 0xFFFF0005u}); // (1,2) (3,4) (5,-1)
    file.add(emf::EMR_POLYGON16, {0, 0, 0, 0, 3, 0x00000000, 0x0000000A, 0x000A000A});
    file.add(emf::EMR_POLYLINE, {0, 0, 0, 0, 2, 100000, 7, 8, 9});
    file.add(emf::EMR_POLYGON, {0, 0, 0, 0, 3, 1, 1, 2, 1, 2, 2});
    file.add(emf::EMR_MOVETOEX, {50, 60});
    file.add(emf::EMR_POLYLINETO16, {0, 0, 0, 0, 2, 0x0046003C, 0x00500050}); // (60,70) (80,80)
    file.add(emf::EMR_LINETO, {90, 80});
    // FILLRGN with two rectangles and its own brush; the selected one stays.
    file.add(emf::EMR_FILLRGN, {0, 0, 0, 0, 64, 1, 32, 1, 2, 32, 0, 0, 0, 0, 10, 10, 20, 20, 30, 30, 40, 40});
    file.add(emf::EMR_RECTANGLE, {0, 0, 1, 1});
    file.add(emf::EMR_EXTSELECTCLIPRGN, {0, emf::kRgnCopy});
    const Played p = play(file.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    const auto polylines = p.of("polyline");
    ASSERT_EQ(polylines.size(), 3u);
    EXPECT_EQ(polylines[0]->numbers, (Numbers{1, 2, 3, 4, 5, -1}));
    EXPECT_EQ(polylines[1]->numbers, (Numbers{100000, 7, 8, 9}));
    EXPECT_EQ(polylines[2]->numbers, (Numbers{50, 60, 60, 70, 80, 80}));
    EXPECT_EQ(p.of("line")[0]->numbers, (Numbers{80, 80, 90, 80}));
    const auto polygons = p.of("polygon");
    ASSERT_EQ(polygons.size(), 2u);
    EXPECT_EQ(polygons[0]->numbers, (Numbers{0, 0, 10, 0, 10, 10}));
    EXPECT_EQ(polygons[0]->brush, (LogBrush{BS_HATCHED, rgb(255, 0, 0), HS_CROSS}));
    EXPECT_NE(polygons[0]->line.find(" winding"), std::string::npos);
    EXPECT_EQ(polygons[1]->numbers, (Numbers{1, 1, 2, 1, 2, 2}));
    const auto fills = p.of("fill");
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0]->numbers, (Numbers{10, 10, 20, 20}));
    EXPECT_EQ(fills[1]->numbers, (Numbers{30, 30, 40, 40}));
    EXPECT_EQ(fills[0]->brush.color, rgb(0, 0, 255));
    EXPECT_EQ(p.of("rectangle")[0]->brush.style, BS_HATCHED);
}

TEST(EmfReader, HeaderFormsOf88And100Bytes)
{
    // 88 bytes: micrometres do not exist, the millimetres count.
    RawEmf original(4800, 6600, 203, 279, 88);
    const EmfReader a(original.finish());
    ASSERT_TRUE(a.isValid()) << a.problem();
    EXPECT_DOUBLE_EQ(a.space().widthMm, 203);
    LoggingDevice log;
    EXPECT_TRUE(a.play(log).ok);

    // 100-byte fixed part followed by a description at offset 100: the
    // description's bytes must not be taken for szlMicrometers.
    RawEmf extension1(4800, 6600, 203, 279, 108, 0x00410041, 0x00000042);
    Bytes bytes = extension1.finish();
    emf::storeU32(bytes.data() + 60, 4);   // nDescription "AAB\0"
    emf::storeU32(bytes.data() + 64, 100); // offDescription
    const EmfReader b(bytes);
    ASSERT_TRUE(b.isValid()) << b.problem();
    EXPECT_DOUBLE_EQ(b.space().widthMm, 203);
    EXPECT_DOUBLE_EQ(b.space().heightMm, 279);
    // 108 bytes: the micrometres are more precise.
    const EmfReader c(RawEmf().finish());
    EXPECT_DOUBLE_EQ(c.space().widthMm, 203.2);
}

TEST(EmfReader, DamagedFilesAreReportedAndPlayedAsFarAsSound)
{
    // Not metafiles at all.
    for (const Bytes& bad : {Bytes{}, Bytes{1, 2, 3}, Bytes(200, 0x41), Bytes(87, 0)}) {
        const EmfReader reader(bad);
        EXPECT_FALSE(reader.isValid());
        EXPECT_FALSE(reader.problem().empty());
        LoggingDevice log;
        const EmfPlayResult r = reader.play(log);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(log.calls().empty()) << "an invalid reader plays nothing";
    }
    EXPECT_NE(EmfReader({}).problem().find("empty"), std::string::npos);
    Bytes noSignature = RawEmf().finish();
    noSignature[40] = 'X';
    EXPECT_FALSE(EmfReader(noSignature).isValid());
    Bytes noMillimetres = RawEmf(4800, 6600, 0, 0, 88).finish();
    EXPECT_FALSE(EmfReader(noMillimetres).isValid());
    Bytes headerTooBig = RawEmf().finish();
    emf::storeU32(headerTooBig.data() + 4, 4000);
    EXPECT_FALSE(EmfReader(headerTooBig).isValid());
    EXPECT_FALSE(EmfReader::fromFile("/nonexistent/PRN001.EMF").isValid());
    TempDir dir;
    EXPECT_FALSE(EmfReader::fromFile(dir.path()).isValid());

    const Bytes text = textRecord(emf::EMR_EXTTEXTOUTW, 1, 2, utf16(u"ok"), 2, {1, 1});

    // Truncated inside a record: what comes before plays, then the problem.
    {
        RawEmf file;
        file.add(text).add(emf::EMR_LINETO, {5, 5});
        Bytes bytes = file.finish(false);
        bytes.resize(bytes.size() - 6);
        const Played p = play(bytes);
        EXPECT_FALSE(p.result.ok);
        EXPECT_NE(p.result.problem.find("shorter than its header says"), std::string::npos) << p.result.problem;
        EXPECT_EQ(p.log.texts(), std::vector<std::string>{"ok"});
        EXPECT_TRUE(p.of("line").empty());
        EXPECT_EQ(p.log.calls().back().kind, "end");
    }
    // nSize not a multiple of 4, and nSize below 8: playback stops there.
    for (std::uint32_t size : {13u, 4u, 0u}) {
        RawEmf file;
        Bytes odd = emftest::record(emf::EMR_LINETO, {5, 5});
        emf::storeU32(odd.data() + 4, size);
        file.add(text).add(odd).add(text);
        const Played p = play(file.finish());
        EXPECT_FALSE(p.result.ok) << size;
        EXPECT_NE(p.result.problem.find("bad size " + std::to_string(size)), std::string::npos) << p.result.problem;
        EXPECT_EQ(p.log.texts().size(), 1u);
        EXPECT_EQ(p.log.calls().back().kind, "end");
    }
    // nSize past the end of the file.
    {
        RawEmf file;
        Bytes huge = emftest::record(emf::EMR_LINETO, {5, 5});
        emf::storeU32(huge.data() + 4, 0xFFFFFFF0u);
        file.add(huge);
        const Played p = play(file.finish());
        EXPECT_FALSE(p.result.ok);
        EXPECT_NE(p.result.problem.find("past the end"), std::string::npos) << p.result.problem;
    }
    // Unknown types are skipped by their size, and noted.
    {
        RawEmf file;
        file.add(200, {1, 2, 3}).add(emf::EMR_COMMENT, {4, 0x12345678}).add(text);
        const Played p = play(file.finish());
        EXPECT_TRUE(p.result.ok) << p.result.problem;
        EXPECT_EQ(p.result.recordsSkipped, 2);
        EXPECT_EQ(p.result.recordsPlayed, 5);
        EXPECT_TRUE(p.noted("type 200"));
        EXPECT_EQ(p.log.texts(), std::vector<std::string>{"ok"});
    }
    // Huge internal offsets and counts: reported, the record skipped, the rest played.
    {
        RawEmf file;
        Bytes bad = text;
        emf::storeU32(bad.data() + 48, 0xFFFFFFF0u); // offString
        Bytes many = text;
        emf::storeU32(many.data() + 44, 0x7FFFFFFFu); // nChars
        Bytes dx = text;
        emf::storeU32(dx.data() + 72, 0xFFFFFFFCu); // offDx
        file.add(bad).add(many).add(dx);
        file.add(emf::EMR_POLYLINE16, {0, 0, 0, 0, 0x40000000u, 0});
        file.add(emf::EMR_FILLRGN, {0, 0, 0, 0, 0xFFFFFFF0u, 0x80000000u, 32, 1, 0x10000000u, 0, 0, 0, 0, 0});
        Bytes blit(100, 0);
        emf::storeU32(blit.data(), emf::EMR_BITBLT);
        emf::storeU32(blit.data() + 4, 100);
        emf::storeU32(blit.data() + 92, 0xFFFFFF00u); // offBitsSrc
        emf::storeU32(blit.data() + 96, 0x1000u);     // cbBitsSrc
        file.add(blit);
        file.add(text);
        const Played p = play(file.finish());
        EXPECT_FALSE(p.result.ok);
        EXPECT_NE(p.result.problem.find("EMR_EXTTEXTOUTW"), std::string::npos) << p.result.problem;
        EXPECT_GE(p.result.notes.size(), 4u) << "the later damage is noted";
        EXPECT_EQ(p.log.texts(), std::vector<std::string>{"ok"});
        EXPECT_TRUE(p.of("polyline").empty());
        EXPECT_TRUE(p.of("fill").empty());
    }
    // A record too short for its type: reported, skipped by its size.
    {
        RawEmf file;
        file.add(emf::EMR_LINETO, {5}).add(emf::EMR_RECTANGLE, {0, 0, 1}).add(text);
        const Played p = play(file.finish());
        EXPECT_FALSE(p.result.ok);
        EXPECT_NE(p.result.problem.find("too short"), std::string::npos) << p.result.problem;
        EXPECT_TRUE(p.of("line").empty());
        EXPECT_EQ(p.log.texts().size(), 1u);
    }
    // Object indexes beyond nHandles are tolerated (the table grows) and
    // noted; absurd ones are ignored.
    {
        RawEmf file;
        file.handles(2);
        file.add(emf::EMR_CREATEBRUSHINDIRECT, {9, BS_SOLID, rgb(0, 255, 0), 0});
        file.add(emf::EMR_SELECTOBJECT, {9});
        file.add(emf::EMR_CREATEPEN, {0x7FFFFFFF, PS_SOLID, 5, 0, 0});
        file.add(emf::EMR_SELECTOBJECT, {0x7FFFFFFF});
        file.add(emf::EMR_DELETEOBJECT, {0x7FFFFFFE});
        file.add(emf::EMR_RECTANGLE, {0, 0, 10, 10});
        const Played p = play(file.finish());
        EXPECT_TRUE(p.result.ok) << p.result.problem;
        EXPECT_TRUE(p.noted("beyond the header's nHandles 2"));
        EXPECT_TRUE(p.noted("object index 2147483647 ignored"));
        EXPECT_EQ(p.of("rectangle")[0]->brush.color, rgb(0, 255, 0));
        EXPECT_EQ(p.of("rectangle")[0]->pen.width, 0) << "the stock pen stays";
    }
    // No EOF record, and nBytes beyond the data.
    {
        RawEmf file;
        file.add(text);
        const Played p = play(file.finish(false));
        EXPECT_FALSE(p.result.ok);
        EXPECT_NE(p.result.problem.find("without an EMR_EOF"), std::string::npos) << p.result.problem;
        EXPECT_EQ(p.log.texts().size(), 1u);
    }
    // Bytes after EOF and after nBytes are not played.
    {
        RawEmf file;
        Bytes bytes = file.finish();
        const Bytes more = text;
        bytes.insert(bytes.end(), more.begin(), more.end());
        const Played p = play(bytes);
        EXPECT_TRUE(p.result.ok) << p.result.problem;
        EXPECT_TRUE(p.log.texts().empty());
    }
}

TEST(EmfReader, RecordedPagesWalkAsTheirHeaderSays)
{
    TempDir dir;
    const Bytes bytes = emftest::samplePage();
    dir.write("PRN001.EMF", std::string(bytes.begin(), bytes.end()));
    const EmfReader reader = EmfReader::fromFile(dir.file("PRN001.EMF"));
    ASSERT_TRUE(reader.isValid()) << reader.problem();
    LoggingDevice log;
    const EmfPlayResult result = reader.play(log);
    ASSERT_TRUE(result.ok) << result.problem;
    EXPECT_EQ(result.recordsPlayed, static_cast<int>(emf::loadU32(&bytes[52])));
    EXPECT_EQ(log.texts(), (std::vector<std::string>{"FIRST LINE", "LAST LINE"}));
    // 24 frame lines, the six rows of the top band in order.
    const auto lines = log.callsOf("line");
    ASSERT_EQ(lines.size(), 24u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(lines[static_cast<std::size_t>(i)]->numbers, (Numbers{200, 200.0 + i, 4600, 200.0 + i}));
    // Playing twice gives the same trace.
    LoggingDevice again;
    reader.play(again);
    EXPECT_EQ(again.trace(), log.trace());
    const std::string trace = log.trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), static_cast<long>(log.calls().size()));
}

} // namespace
} // namespace velm
