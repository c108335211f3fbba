// The Windows metafile reader: a sound picture comes back as the device calls
// it stands for; damaged and hostile files are reported, played as far as
// they are sound, and never read past a record's end.
#include "support/wmf_test_support.h"

#include "platform/metafile/wmf_reader.h"
#include "support/played.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velm {
namespace {

using namespace wmftest;
using Numbers = std::vector<double>;

Played play(const std::string& bytes)
{
    Played p;
    p.result = WmfReader(bytes).play(p.log);
    return p;
}

// One inch of 1440 units shown as 96 pixels: 15 units to the pixel.
RawWmf inchPicture(int objects = 8)
{
    RawWmf w(objects);
    w.placeable(0, 0, 1440, 1440);
    return w;
}

RawWmf& pen(RawWmf& w, int width, std::uint32_t colour)
{
    return w.add(META_CREATEPENINDIRECT, {0, width, 0, int(colour & 0xFFFF), int(colour >> 16)});
}

RawWmf& lineTo(RawWmf& w, int x, int y) { return w.add(META_LINETO, {y, x}); }

TEST(WmfReader, SoundPicturePlaysAsItsDeviceCalls)
{
    RawWmf w = inchPicture();
    pen(w, 30, 0x0000FF).add(META_SELECTOBJECT, {0});
    w.add(META_CREATEBRUSHINDIRECT, {0, 0x0000, 0x00FF, 0}).add(META_SELECTOBJECT, {1});
    std::string font;
    for (int v : {-300, 0, 0, 0, 700})
        put16(font, v);
    font += std::string("\0\0\0\0\0\0\0\0", 8) + "DejaVu Sans" + '\0';
    w.addBytes(META_CREATEFONTINDIRECT, font).add(META_SELECTOBJECT, {2});
    w.add(META_SETTEXTCOLOR, {0x8000, 0});
    w.add(META_MOVETO, {150, 150});
    lineTo(w, 1350, 150);
    w.add(META_RECTANGLE, {900, 600, 300, 150});
    w.add(META_POLYGON, {3, 0, 0, 1440, 0, 0, 1440});
    w.add(META_TEXTOUT, {2, 'H' | ('i' << 8), 300, 150});

    const WmfReader reader(w.finish());
    ASSERT_TRUE(reader.isValid()) << reader.problem();
    EXPECT_EQ(reader.width(), 96);
    EXPECT_EQ(reader.height(), 96);
    Played p;
    p.result = reader.play(p.log);
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    EXPECT_TRUE(p.result.notes.empty()) << p.result.notes.front();
    EXPECT_EQ(p.result.recordsPlayed, 13);
    EXPECT_EQ(p.kinds(), (std::vector<std::string>{"begin", "line", "rectangle", "polygon", "text", "unclip", "end"}))
        << p.log.trace();
    EXPECT_EQ(p.of("begin")[0]->numbers[0], 96);
    const auto* line = p.of("line")[0];
    EXPECT_EQ(line->numbers, (Numbers{10, 10, 90, 10}));
    EXPECT_EQ(line->pen, (LogPen{PS_SOLID, 30, 0x0000FF}));
    const auto* box = p.of("rectangle")[0];
    EXPECT_EQ(box->numbers, (Numbers{10, 20, 40, 60}));
    EXPECT_EQ(box->brush, (LogBrush{BS_SOLID, 0xFF0000, 0}));
    EXPECT_EQ(p.of("polygon")[0]->numbers, (Numbers{0, 0, 96, 0, 0, 96}));
    const TextRun& run = p.of("text")[0]->text;
    EXPECT_EQ(run.text, u"Hi");
    EXPECT_EQ(run.origin, (PointF{10, 20}));
    EXPECT_EQ(run.font.height, -20);
    EXPECT_EQ(run.font.weight, 700);
    EXPECT_EQ(run.font.faceName, u"DejaVu Sans");
    EXPECT_EQ(run.color, 0x008000u);

    // Without a box the picture covers the first window the file sets.
    const WmfReader windowed(RawWmf().add(META_SETWINDOWEXT, {300, 400}).finish());
    EXPECT_EQ(windowed.width(), 400);
    EXPECT_EQ(windowed.height(), 300);
}

TEST(WmfReader, DamagedRecordsAreReportedAndNeverReadPastTheirEnd)
{
    // A record shorter than its fixed parameters: reported, skipped by its size.
    RawWmf shortRecord = inchPicture();
    lineTo(shortRecord, 150, 150);
    shortRecord.add(META_LINETO, {150});
    lineTo(shortRecord, 300, 300);
    Played p = play(shortRecord.finish());
    EXPECT_FALSE(p.result.ok);
    EXPECT_NE(p.result.problem.find("record 2 (META_LINETO)"), std::string::npos) << p.result.problem;
    EXPECT_NE(p.result.problem.find("too short"), std::string::npos) << p.result.problem;
    EXPECT_EQ(p.of("line").size(), 2u);
    EXPECT_EQ(p.result.recordsPlayed, 4);

    // Counts that promise more than the record holds draw nothing of it.
    RawWmf overlong = inchPicture();
    overlong.add(META_POLYLINE, {50, 0, 0, 15, 15});
    overlong.add(META_TEXTOUT, {40, 'a' | ('b' << 8)});
    overlong.add(META_POLYLINE, {2, 0, 0, 15, 15});
    p = play(overlong.finish());
    EXPECT_FALSE(p.result.ok);
    EXPECT_NE(p.result.problem.find("META_POLYLINE"), std::string::npos) << p.result.problem;
    EXPECT_TRUE(p.noted("META_TEXTOUT")) << "later damage is noted";
    EXPECT_EQ(p.of("polyline").size(), 1u);
    EXPECT_TRUE(p.of("text").empty());

    // A size past the end of the file, or below the record header, stops playback there.
    std::string pastEnd;
    put32(pastEnd, 1000);
    put16(pastEnd, META_LINETO);
    put32(pastEnd, 0);
    RawWmf cut = inchPicture();
    lineTo(cut, 150, 150).addRaw(pastEnd);
    p = play(cut.finish());
    EXPECT_FALSE(p.result.ok);
    EXPECT_NE(p.result.problem.find("past the end"), std::string::npos) << p.result.problem;
    EXPECT_EQ(p.of("line").size(), 1u);
    EXPECT_EQ(p.kinds().back(), "end");
    std::string tiny;
    put32(tiny, 1);
    put16(tiny, META_LINETO);
    p = play(inchPicture().addRaw(tiny).finish());
    EXPECT_NE(p.result.problem.find("bad size 2"), std::string::npos) << p.result.problem;

    p = play(inchPicture().add(META_MOVETO, {0, 0}).finish(false));
    EXPECT_FALSE(p.result.ok);
    EXPECT_NE(p.result.problem.find("without its end record"), std::string::npos) << p.result.problem;

    const WmfReader garbage(std::string("not a metafile at all"));
    EXPECT_FALSE(garbage.isValid());
    p.log = LoggingDevice();
    p.result = garbage.play(p.log);
    EXPECT_FALSE(p.result.ok);
    EXPECT_TRUE(p.log.calls().empty());
}

TEST(WmfReader, SaveDcIsCappedAndRestoreFindsItsLevel)
{
    RawWmf w = inchPicture();
    pen(w, 0, 0x0000AA);
    pen(w, 0, 0x0000BB);
    w.add(META_SELECTOBJECT, {0});
    for (int i = 0; i < 1030; ++i)
        w.add(META_SAVEDC, {});
    w.add(META_SELECTOBJECT, {1});
    for (int i = 0; i < 1030; ++i)
        w.add(META_RESTOREDC, {-1});
    lineTo(w, 15, 0);
    // Absolute levels: 2 is the second save, and restoring it drops the saves above.
    w.add(META_SAVEDC, {}).add(META_SELECTOBJECT, {1}).add(META_SAVEDC, {}).add(META_SELECTOBJECT, {0});
    w.add(META_RESTOREDC, {2});
    lineTo(w, 30, 0);
    w.add(META_RESTOREDC, {1});
    lineTo(w, 45, 0);
    w.add(META_RESTOREDC, {-1});
    // The clip is part of the saved state.
    w.add(META_SAVEDC, {}).add(META_INTERSECTCLIPRECT, {150, 150, 0, 0}).add(META_RESTOREDC, {-1});

    const Played p = play(w.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    EXPECT_TRUE(p.noted("more than 1024 saved states")) << p.result.notes.front();
    EXPECT_TRUE(p.noted("RESTOREDC -1 with 0 saved states ignored"));
    const auto lines = p.of("line");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->pen.color, 0x0000AAu);
    EXPECT_EQ(lines[1]->pen.color, 0x0000BBu);
    EXPECT_EQ(lines[2]->pen.color, 0x0000AAu);
    const auto kinds = p.kinds();
    const auto clip = std::find(kinds.begin(), kinds.end(), "clip");
    ASSERT_NE(clip, kinds.end());
    EXPECT_EQ(*(clip + 1), "unclip");
}

TEST(WmfReader, ObjectsTakeTheLowestFreeSlotAndAHostileTableFills)
{
    RawWmf w(4);
    pen(w, 0, 1);
    pen(w, 0, 2);
    pen(w, 0, 3);
    w.add(META_DELETEOBJECT, {1});
    pen(w, 0, 9); // slot 1
    w.add(META_DELETEOBJECT, {0});
    pen(w, 0, 8); // slot 0
    pen(w, 0, 5); // slot 3
    pen(w, 0, 6); // no slot left
    for (int slot : {1, 0, 3, 2}) {
        w.add(META_SELECTOBJECT, {slot});
        lineTo(w, 0, 0);
    }
    Played p = play(w.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    EXPECT_TRUE(p.noted("object table (4 slots) is full"));
    std::vector<ColorRef> colours;
    for (const auto* line : p.of("line"))
        colours.push_back(line->pen.color);
    EXPECT_EQ(colours, (std::vector<ColorRef>{9, 8, 5, 3}));

    // Tens of thousands of objects, none deleted: the table fills, playback
    // goes on to the end.
    RawWmf hostile(65535);
    for (int i = 0; i < 70000; ++i)
        pen(hostile, 0, static_cast<std::uint32_t>(i));
    hostile.add(META_SELECTOBJECT, {65534});
    lineTo(hostile, 0, 0);
    p = play(hostile.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    EXPECT_EQ(p.result.recordsPlayed, 70003);
    EXPECT_TRUE(p.noted("is full"));
    ASSERT_EQ(p.of("line").size(), 1u);
    EXPECT_EQ(p.of("line")[0]->pen.color, 65534u);
}

TEST(WmfReader, UnknownSlotsAreNotedAndDeletingKeepsTheSelection)
{
    RawWmf w(4);
    pen(w, 0, 0x123456).add(META_SELECTOBJECT, {0}).add(META_DELETEOBJECT, {0});
    w.add(META_DELETEOBJECT, {2}).add(META_DELETEOBJECT, {60000}).add(META_SELECTOBJECT, {3});
    lineTo(w, 10, 10);
    const Played p = play(w.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    EXPECT_TRUE(p.noted("(META_DELETEOBJECT) at byte"));
    EXPECT_TRUE(p.noted("no object 2 to delete"));
    EXPECT_TRUE(p.noted("no object 60000 to delete"));
    EXPECT_TRUE(p.noted("no object 3 to select"));
    ASSERT_EQ(p.of("line").size(), 1u);
    EXPECT_EQ(p.of("line")[0]->pen.color, 0x123456u);
}

TEST(WmfReader, UnknownRecordsAreSkippedBySize)
{
    RawWmf w = inchPicture();
    w.add(META_DIBBITBLT, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    w.add(0x0FFF, {1, 2, 3});
    w.add(0x0113, {150, 150}); // LINETO's low byte, another function
    w.add(META_CREATEPALETTE, {0x300, 0}).add(META_SELECTOBJECT, {0});
    lineTo(w, 150, 150);
    const Played p = play(w.finish());
    ASSERT_TRUE(p.result.ok) << p.result.problem;
    EXPECT_EQ(p.result.recordsSkipped, 3);
    EXPECT_TRUE(p.noted("skipped 1 record of type 2368"));
    EXPECT_TRUE(p.noted("skipped 1 record of type 275"));
    ASSERT_EQ(p.of("line").size(), 1u);
    EXPECT_EQ(p.of("line")[0]->numbers, (Numbers{0, 0, 10, 10}));
}

} // namespace
} // namespace velm
