// What the recorder writes: a header that describes the printer page, totals
// that match the file, GDI's record layouts byte for byte, objects in the
// lowest free slot, and files written whole or not at all.
#include "support/emf_test_support.h"

#include "platform/metafile/emf_reader.h"
#include "platform/core/errors.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace velm {
namespace {

using emftest::Bytes;
using emftest::kPrinterPage;
using emftest::walk;
using testing::TempDir;

Bytes hexBytes(const std::string& text)
{
    Bytes out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes recordBytes(const Bytes& file, const emftest::WalkedRecord* r)
{
    if (!r)
        return {};
    return Bytes(file.begin() + static_cast<long>(r->offset), file.begin() + static_cast<long>(r->offset + r->size));
}

std::int32_t at32(const Bytes& b, std::size_t offset) { return emf::loadI32(&b[offset]); }

TEST(EmfRecorder, HeaderDescribesThePrinterPageAndTotalsMatchTheFile)
{
    TempDir dir;
    const std::string path = dir.file("PRN001.EMF");
    {
        EmfRecorder page(kPrinterPage);
        const GdiHandle pen = page.createPen({PS_SOLID, 1, 0});
        const GdiHandle brush = page.createBrush({BS_SOLID, rgb(1, 2, 3), 0});
        const GdiHandle font = page.createFont(emftest::arial(-83));
        page.selectObject(pen);
        page.moveTo(10, 10);
        page.lineTo(100, 10);
        page.fillRect({0, 0, 10, 10}, brush);
        page.textOut(5, 5, u"x", {40});
        page.deleteObject(font);
        page.saveTo(path);
    }
    const std::string file = testing::readFile(path);
    const Bytes bytes(file.begin(), file.end());
    ASSERT_GE(bytes.size(), 108u);
    EXPECT_EQ(emf::loadU32(&bytes[0]), 1u);
    EXPECT_EQ(emf::loadU32(&bytes[40]), emf::kSignature);
    EXPECT_EQ(emf::loadU32(&bytes[44]), 0x00010000u);
    // rclBounds = the whole page, inclusive; rclFrame = the whole page in 0.01 mm.
    EXPECT_EQ((std::vector<int>{at32(bytes, 8), at32(bytes, 12), at32(bytes, 16), at32(bytes, 20)}),
              (std::vector<int>{0, 0, 4799, 6599}));
    EXPECT_EQ((std::vector<int>{at32(bytes, 24), at32(bytes, 28), at32(bytes, 32), at32(bytes, 36)}),
              (std::vector<int>{0, 0, 20320, 27940}));
    // szlDevice, szlMillimeters (4800 px at 600 dpi = 203.2 mm), szlMicrometers.
    EXPECT_EQ(at32(bytes, 72), 4800);
    EXPECT_EQ(at32(bytes, 76), 6600);
    EXPECT_EQ(at32(bytes, 80), 203);
    EXPECT_EQ(at32(bytes, 84), 279);
    EXPECT_EQ(at32(bytes, 100), 203200);
    EXPECT_EQ(at32(bytes, 104), 279400);
    EXPECT_EQ(at32(bytes, 88), 0); // no pixel format, no OpenGL
    EXPECT_EQ(at32(bytes, 96), 0);

    // Totals.
    const auto records = walk(bytes);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().offset + records.back().size, bytes.size()) << "the walk ends exactly at the file end";
    EXPECT_EQ(emf::loadU32(&bytes[48]), bytes.size());                   // nBytes
    EXPECT_EQ(emf::loadU32(&bytes[52]), records.size());                 // nRecords
    EXPECT_EQ(emf::loadU16(&bytes[56]), 4u);                             // slots 1..3 + slot 0
    EXPECT_EQ(records.front().type, emf::EMR_HEADER);
    EXPECT_EQ(records.back().type, emf::EMR_EOF);
    EXPECT_EQ(records.back().size, 20u);
    EXPECT_EQ(emf::loadU32(&bytes[bytes.size() - 4]), 20u);             // EOF's nSizeLast
    for (const auto& r : records)
        EXPECT_EQ(r.size % 4, 0u);

    // Description: "Velm\0\0" right after the 108-byte fixed part.
    EXPECT_EQ(emf::loadU32(&bytes[60]), 6u);
    EXPECT_EQ(emf::loadU32(&bytes[64]), 108u);
    EXPECT_EQ(records.front().size, 108u + 12);
    EXPECT_EQ(emf::loadU16(&bytes[108]), u'V');
    EXPECT_EQ(emf::loadU16(&bytes[114]), u'm');
    EXPECT_EQ(emf::loadU16(&bytes[116]), 0u);

    // The explicit initial state, in this order.
    const std::vector<std::uint32_t> state{emf::EMR_SETMAPMODE,   emf::EMR_SETBKMODE,       emf::EMR_SETTEXTALIGN,
                                           emf::EMR_SETTEXTCOLOR, emf::EMR_SETBKCOLOR,      emf::EMR_SETPOLYFILLMODE,
                                           emf::EMR_SETROP2};
    ASSERT_GT(records.size(), state.size());
    for (std::size_t i = 0; i < state.size(); ++i)
        EXPECT_EQ(records[i + 1].type, state[i]) << i;
    EXPECT_EQ(at32(bytes, records[1].offset + 8), MM_TEXT);
    EXPECT_EQ(at32(bytes, records[2].offset + 8), OPAQUE);
    EXPECT_EQ(at32(bytes, records[5].offset + 8), 0xFFFFFF);
    EXPECT_EQ(at32(bytes, records[7].offset + 8), 13);

    // Our own reader agrees.
    const EmfReader reader = EmfReader::fromFile(path);
    ASSERT_TRUE(reader.isValid()) << reader.problem();
    EXPECT_EQ(reader.space().widthPx, 4800);
    EXPECT_DOUBLE_EQ(reader.space().widthMm, 203.2);
    EXPECT_DOUBLE_EQ(reader.space().heightMm, 279.4);
}

TEST(EmfRecorder, OtherResolutionsAndBlankPages)
{
    // 300 dpi A4 (2480 x 3508): 210 x 297 mm.
    EmfRecorder page(PageGeometry{2480, 3508, 300, 300});
    const Bytes bytes = page.finish();
    EXPECT_EQ(at32(bytes, 80), 210);
    EXPECT_EQ(at32(bytes, 84), 297);
    EXPECT_EQ(at32(bytes, 100), 209973);
    EXPECT_EQ(at32(bytes, 32), 20997);
    EXPECT_EQ(emf::loadU16(&bytes[56]), 1u) << "no objects: only slot 0";
    EXPECT_EQ(walk(bytes).size(), emf::loadU32(&bytes[52]));
    EXPECT_THROW(page.finish(), std::logic_error);
    EXPECT_THROW(page.lineTo(1, 1), std::logic_error);
    EXPECT_THROW((EmfRecorder(PageGeometry{0, 100, 600, 600})), std::invalid_argument);
    EXPECT_THROW((EmfRecorder(PageGeometry{100, 100, 600, 0})), std::invalid_argument);
}

TEST(EmfRecorder, LongDescriptionsAreCutToWhatEmf2svgAcceptsOnABlankPage)
{
    for (const std::u16string& description : {std::u16string(u"Velm"), std::u16string(u"Velm\0Job title", 14),
                                            std::u16string(200, u'x')}) {
        EmfRecorder page(kPrinterPage, description);
        const Bytes bytes = page.finish();
        const std::uint32_t units = emf::loadU32(&bytes[60]);
        ASSERT_GE(units, 2u);
        EXPECT_EQ(emf::loadU16(&bytes[108 + 2 * (units - 1)]), 0u);
        EXPECT_EQ(emf::loadU16(&bytes[108 + 2 * (units - 2)]), 0u);
        std::size_t first = 0;
        while (emf::loadU16(&bytes[108 + 2 * first]) != 0)
            ++first;
        // emf2svg 1.1 reads up to offDescription + first string + 4 bytes a unit.
        EXPECT_LE(108 + 2 + 2 * first + 4 * units, bytes.size()) << bytes.size();
        EXPECT_EQ(walk(bytes).size(), emf::loadU32(&bytes[52]));
    }
    EmfRecorder titled(kPrinterPage, std::u16string(u"Velm\0Job title", 14));
    const Bytes bytes = titled.finish();
    EXPECT_EQ(emf::loadU32(&bytes[60]), 16u);
    EXPECT_EQ(emf::loadU16(&bytes[108 + 2 * 5]), u'J');
}

TEST(EmfRecorder, GoldenTextRecord)
{
    EmfRecorder page(kPrinterPage);
    page.textOut(10, 20, u"abc", {5, 6, 7});
    page.textOut(10, 20, u"ab", {});
    const Bytes bytes = page.finish();
    const auto records = walk(bytes);
    EXPECT_EQ(recordBytes(bytes, emftest::find(records, emf::EMR_EXTTEXTOUTW)),
              hexBytes("54000000 60000000"            // EMR_EXTTEXTOUTW, nSize 96
                       "00000000 00000000 ffffffff ffffffff" // bounds not computed
                       "01000000"                     // GM_COMPATIBLE
                       "77778740 77778740"            // exScale = eyScale = 2540 / 600 (0.01 mm per px)
                       "0a000000 14000000"            // ptlReference (10, 20)
                       "03000000 4c000000 00000000"   // nChars 3, offString 76, no options
                       "00000000 00000000 ffffffff ffffffff" // no rectangle
                       "54000000"                     // offDx 84 = 76 + 2 * roundup_even(3)
                       "61006200 63000000"            // "abc" padded to 4 bytes
                       "05000000 06000000 07000000")); // dx
    // Without advances: offDx 0 and no array; the even length needs no padding.
    EXPECT_EQ(recordBytes(bytes, emftest::find(records, emf::EMR_EXTTEXTOUTW, 1)),
              hexBytes("54000000 50000000 00000000 00000000 ffffffff ffffffff 01000000 77778740 77778740"
                       "0a000000 14000000 02000000 4c000000 00000000 00000000 00000000 ffffffff ffffffff"
                       "00000000 61006200"));
}

TEST(EmfRecorder, GoldenGlyphIndexRecordAfterItsComment)
{
    EmfRecorder page(kPrinterPage);
    const std::uint16_t glyphs[] = {0x24, 0x37};
    const int dx[] = {5, 6}, dy[] = {2, -2};
    page.glyphsOut(10, 20, glyphs, dx, dy, TextSource{u"a", {0, 0}, true});
    const Bytes bytes = page.finish();
    const auto records = walk(bytes);
    EXPECT_EQ(recordBytes(bytes, emftest::find(records, emf::EMR_COMMENT)),
              hexBytes("46000000 2c000000 20000000"   // EMR_COMMENT, nSize 44, cbData 32
                       "56656c6d 01000000 01000000"   // "Velm", a text source, right to left
                       "01000000 02000000 61000000"   // one unit, two glyphs; "a" padded
                       "00000000 00000000"));         // both glyphs in the cluster at 0
    EXPECT_EQ(recordBytes(bytes, emftest::find(records, emf::EMR_EXTTEXTOUTW)),
              hexBytes("54000000 60000000 00000000 00000000 ffffffff ffffffff 01000000 77778740 77778740"
                       "0a000000 14000000"            // ptlReference (10, 20)
                       "02000000 4c000000 10200000"   // nChars 2, offString 76, ETO_GLYPH_INDEX | ETO_PDY
                       "00000000 00000000 ffffffff ffffffff 50000000" // offDx 80
                       "24003700"                     // the glyph ids
                       "05000000 02000000 06000000 feffffff")); // (dx, dy) pairs
    EXPECT_EQ(emftest::find(records, emf::EMR_COMMENT) + 1, emftest::find(records, emf::EMR_EXTTEXTOUTW));
}

TEST(EmfRecorder, GoldenFontRecord)
{
    EmfRecorder page(kPrinterPage);
    LogFont font = emftest::arial(-88, 700);
    font.italic = true;
    font.charSet = 0;
    font.pitchAndFamily = 0x22;
    page.createFont(font);
    LogFont longName = font;
    longName.faceName = std::u16string(40, u'n');
    page.createFont(longName);
    const Bytes bytes = page.finish();
    const auto records = walk(bytes);
    Bytes expected = hexBytes("52000000 68000000"   // EMR_EXTCREATEFONTINDIRECTW, nSize 104
                              "01000000"            // ihFont: the lowest free slot
                              "a8ffffff 00000000 00000000 00000000 bc020000" // -88, 0, 0, 0, 700
                              "01000000"            // italic, not underlined or struck out, ANSI
                              "00000022"            // precisions, quality, VARIABLE_PITCH | FF_SWISS
                              "41007200 69006100 6c00");                     // "Arial"
    expected.resize(104, 0);
    EXPECT_EQ(recordBytes(bytes, emftest::find(records, emf::EMR_EXTCREATEFONTINDIRECTW)), expected);
    // A name longer than 31 units is cut and keeps its terminator.
    const Bytes second = recordBytes(bytes, emftest::find(records, emf::EMR_EXTCREATEFONTINDIRECTW, 1));
    ASSERT_EQ(second.size(), 104u);
    EXPECT_EQ(emf::loadU16(&second[40 + 2 * 30]), u'n');
    EXPECT_EQ(emf::loadU16(&second[40 + 2 * 31]), 0u);
}

TEST(EmfRecorder, GoldenPatCopyBlitBetweenTwoSelections)
{
    EmfRecorder page(kPrinterPage);
    const GdiHandle brush = page.createBrush({BS_SOLID, rgb(255, 0, 0), 0});
    page.fillRect({100, 200, 300, 250}, brush);
    const Bytes bytes = page.finish();
    const auto records = walk(bytes);
    const auto* blit = emftest::find(records, emf::EMR_BITBLT);
    ASSERT_NE(blit, nullptr);
    EXPECT_EQ(recordBytes(bytes, blit),
              hexBytes("4c000000 64000000"                      // EMR_BITBLT, nSize 100
                       "64000000 c8000000 2b010000 f9000000"    // bounds (100, 200, 299, 249) inclusive
                       "64000000 c8000000 c8000000 32000000"    // x 100, y 200, cx 200, cy 50
                       "2100f000"                               // PATCOPY
                       "00000000 00000000"                      // source origin
                       "0000803f 00000000 00000000 0000803f 00000000 00000000" // identity
                       "00000000 00000000"                      // background, usage
                       "00000000 00000000 00000000 00000000")); // no bitmap
    // Selected before, the stock white brush selected back after.
    const std::size_t i = static_cast<std::size_t>(blit - records.data());
    ASSERT_GE(i, 1u);
    EXPECT_EQ(records[i - 1].type, emf::EMR_SELECTOBJECT);
    EXPECT_EQ(emf::loadU32(&bytes[records[i - 1].offset + 8]), brush);
    EXPECT_EQ(records[i + 1].type, emf::EMR_SELECTOBJECT);
    EXPECT_EQ(emf::loadU32(&bytes[records[i + 1].offset + 8]), 0x80000000u);
    // Colour byte order: RGB(255, 0, 0) is stored as FF 00 00 00.
    const auto* create = emftest::find(records, emf::EMR_CREATEBRUSHINDIRECT);
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(Bytes(bytes.begin() + static_cast<long>(create->offset + 16),
                    bytes.begin() + static_cast<long>(create->offset + 20)),
              hexBytes("ff000000"));
}

TEST(EmfRecorder, ColoursKeepRedInTheLowByte)
{
    EmfRecorder page(kPrinterPage);
    page.setTextColor(rgb(255, 0, 0));
    page.setBkColor(rgb(0, 0, 255));
    page.createPen({PS_SOLID, 0, rgb(0x12, 0x34, 0x56)});
    const Bytes bytes = page.finish();
    const auto records = walk(bytes);
    const auto* text = emftest::find(records, emf::EMR_SETTEXTCOLOR, 1); // the first is the initial state
    const auto* bk = emftest::find(records, emf::EMR_SETBKCOLOR, 1);
    const auto* pen = emftest::find(records, emf::EMR_CREATEPEN);
    ASSERT_TRUE(text && bk && pen);
    EXPECT_EQ(Bytes(&bytes[text->offset + 8], &bytes[text->offset + 12]), hexBytes("ff000000"));
    EXPECT_EQ(Bytes(&bytes[bk->offset + 8], &bytes[bk->offset + 12]), hexBytes("0000ff00"));
    EXPECT_EQ(Bytes(&bytes[pen->offset + 24], &bytes[pen->offset + 28]), hexBytes("12345600"));
}

TEST(EmfRecorder, PensByWidthAndObjectsInTheLowestFreeSlot)
{
    EmfRecorder page(kPrinterPage);
    const GdiHandle hair = page.createPen({PS_SOLID, 0, 0});
    const GdiHandle one = page.createPen({PS_DASH, 1, 0});
    const GdiHandle wide = page.createPen({PS_SOLID | PS_ENDCAP_FLAT, 8, rgb(0, 128, 0)});
    EXPECT_EQ((std::vector<GdiHandle>{hair, one, wide}), (std::vector<GdiHandle>{1, 2, 3}));
    // Deleting frees the slot for the next object of any kind.
    page.deleteObject(one);
    const GdiHandle brush = page.createBrush({BS_HATCHED, 0, HS_CROSS});
    EXPECT_EQ(brush, 2u);
    // A selected object that is deleted keeps its slot until it is replaced.
    EXPECT_EQ(page.selectObject(hair), stockObject(BLACK_PEN));
    page.deleteObject(hair);
    EXPECT_EQ(page.createFont(emftest::arial(-10)), 4u);
    EXPECT_EQ(page.selectObject(wide), hair);
    EXPECT_EQ(page.createFont(emftest::arial(-12)), 1u);
    // Stock, unknown and freed handles are not selected or deleted.
    EXPECT_EQ(page.selectObject(77), kNoHandle);
    EXPECT_EQ(page.selectObject(kNoHandle), kNoHandle);
    EXPECT_EQ(page.selectObject(stockObject(NULL_BRUSH)), stockObject(WHITE_BRUSH));
    EXPECT_EQ(page.selectObject(stockObject(SYSTEM_FONT)), stockObject(SYSTEM_FONT));
    page.deleteObject(stockObject(BLACK_PEN));
    page.deleteObject(99);
    page.fillRect({0, 0, 10, 10}, 99);  // no brush there: nothing recorded
    page.fillRect({10, 10, 10, 20}, brush); // empty: nothing recorded
    const Bytes bytes = page.finish();
    const auto records = walk(bytes);

    const auto* thin = emftest::find(records, emf::EMR_CREATEPEN, 1);
    ASSERT_NE(thin, nullptr);
    EXPECT_EQ(at32(bytes, thin->offset + 12), PS_DASH);
    EXPECT_EQ(at32(bytes, thin->offset + 16), 1);
    EXPECT_EQ(at32(bytes, thin->offset + 20), 0);
    const auto* ext = emftest::find(records, emf::EMR_EXTCREATEPEN);
    ASSERT_NE(ext, nullptr);
    EXPECT_EQ(ext->size, 52u);
    EXPECT_EQ(at32(bytes, ext->offset + 8), 3);
    EXPECT_EQ(emf::loadU32(&bytes[ext->offset + 28]), 0x10000u | 0x200u); // PS_GEOMETRIC | PS_ENDCAP_FLAT
    EXPECT_EQ(at32(bytes, ext->offset + 32), 8);
    EXPECT_EQ(at32(bytes, ext->offset + 36), BS_SOLID);
    EXPECT_EQ(emf::loadU32(&bytes[ext->offset + 40]), rgb(0, 128, 0));
    EXPECT_EQ(emftest::find(records, emf::EMR_BITBLT), nullptr);
    EXPECT_EQ(emftest::find(records, emf::EMR_DELETEOBJECT, 2), nullptr) << "two real deletes only";
    EXPECT_EQ(emf::loadU16(&bytes[56]), 5u) << "highest slot 4";
}

TEST(EmfRecorder, SelectingTheFillBrushSkipsTheSelections)
{
    EmfRecorder page(kPrinterPage);
    const GdiHandle brush = page.createBrush({BS_SOLID, 0, 0});
    page.selectObject(brush);
    page.fillRect({0, 0, 5, 5}, brush);
    const Bytes bytes = page.finish();
    const auto records = walk(bytes);
    EXPECT_EQ(emftest::find(records, emf::EMR_SELECTOBJECT, 1), nullptr);
    EXPECT_NE(emftest::find(records, emf::EMR_BITBLT), nullptr);
}

TEST(EmfRecorder, SaveWritesTheWholeFileOrReportsIt)
{
    TempDir dir;
    EmfRecorder good(kPrinterPage);
    good.textOut(1, 2, u"x", {3});
    good.saveTo(dir.file("a.emf"));
    EXPECT_EQ(std::filesystem::file_size(dir.file("a.emf")), emf::loadU32(reinterpret_cast<const std::uint8_t*>(
                                                                  testing::readFile(dir.file("a.emf")).data() + 48)));

    EmfRecorder missing(kPrinterPage);
    const std::string nowhere = dir.file("no/such/folder/PRN001.EMF");
    try {
        missing.saveTo(nowhere);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + nowhere);
        EXPECT_NE(dynamic_cast<const FileError*>(&e), nullptr);
    }

    // A full device of the test's own (making one needs root): the write
    // fails, and the device stays where it was.
    const std::string full = dir.file("full");
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        EmfRecorder page(kPrinterPage);
        EXPECT_THROW(page.saveTo(full), FileError);
        struct stat after {};
        EXPECT_TRUE(::lstat(full.c_str(), &after) == 0 && S_ISCHR(after.st_mode));
    }
    // A read-only folder (skipped as root, who may write anyway).
    if (geteuid() != 0) {
        std::filesystem::create_directory(dir.file("ro"));
        std::filesystem::permissions(dir.file("ro"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EmfRecorder readOnly(kPrinterPage);
        EXPECT_THROW(readOnly.saveTo(dir.file("ro/PRN001.EMF")), FileError);
        EXPECT_FALSE(std::filesystem::exists(dir.file("ro/PRN001.EMF")));
    }
}

TEST(EmfRecorder, DensePagesHoldExactlyTheirRecords)
{
    // Thousands of pages for a large file: each holds its records and
    // nothing else (no slack, no per-record padding beyond GDI's).
    const std::u16string line(120, u'x');
    const std::vector<int> dx(line.size(), 40);
    std::size_t total = 0;
    for (int sheet = 0; sheet < 200; ++sheet) {
        EmfRecorder page(kPrinterPage);
        for (int y = 0; y < 90; ++y)
            page.textOut(100, 100 + 70 * y, line, dx);
        total += page.finish().size();
    }
    EXPECT_EQ(total, 200u * (120 + 7 * 12 + 90 * (76 + 240 + 480) + 20));
}

} // namespace
} // namespace velm
