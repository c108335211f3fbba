// The drawing surface on a 600-dpi test printer: stored page files, the
// settings a document writes, fonts, pens and brushes, and word-wrapped
// text, all checked on the stored pages as a reader decodes them.
#include "engine/Gdi.h"
#include "platform/core/codepage.h"
#include "platform/system/files.h"
#include "platform/printing/printer.h"
#include "platform/system/settings.h"
#include "stored_pages.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace velm {
namespace {

using testing::CurrentDir;
using testing::DecodedPage;
using testing::DecodedText;
using testing::DecodePage;
using testing::TempDir;
using testing::TestPrinter;

const TFont kContents{"Times New Roman", 14, clWindowText, 0, 96};

class Surface : public ::testing::Test {
protected:
    explicit Surface(const std::string& printer = "Velm Test 600")
        : here_(dir_.path()), printer_(dir_.file("out"), 4800, 6600, 600, printer)
    {
        PrinterCanvas().Font.PixelsPerInch = 600;
        gdi_ = std::make_unique<TGdi>();
    }

    void Begin() { gdi_->BeginDocument(clWhite, "Surface", 100); }

    // The contents font at 88 pixels in a cell text area of the worked example.
    void ContentsArea(int bottom = 6480)
    {
        gdi_->SetFont(kContents);
        gdi_->SetTextArea(160, 300, 2390, bottom);
        gdi_->SetLineHeight(132);
        gdi_->CarriageReturn();
    }

    DecodedPage Finish(int page = 1)
    {
        gdi_->EndPage();
        return DecodePage(PageFileName(page));
    }

    TempDir dir_;
    CurrentDir here_;
    TestPrinter printer_;
    std::unique_ptr<TGdi> gdi_;
};

std::vector<std::string> Words(int count)
{
    std::vector<std::string> words;
    for (int i = 1; i <= count; ++i)
        words.push_back("word" + std::to_string(i));
    return words;
}

std::string Join(const std::vector<std::string>& words)
{
    std::string text;
    for (const auto& w : words)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST_F(Surface, PageFileNamesFollowTheCurrentDirectory)
{
    EXPECT_EQ(PageFileName(7), dir_.path() + "/PRN007.EMF");
    EXPECT_EQ(PageFileName(42), dir_.path() + "/PRN042.EMF");
    EXPECT_EQ(PageFileName(1000), dir_.path() + "/PRN1000.EMF");
    CurrentDir root("/");
    EXPECT_EQ(PageFileName(7), "/PRN007.EMF");
}

TEST_F(Surface, DeletingStoredPagesStopsAtTheFirstGapOnly)
{
    for (int n : {1, 2, 4})
        Touch(PageFileName(n));
    EXPECT_EQ(StoredPageCount(), 2);
    DeletePageFiles();
    EXPECT_FALSE(fileExists(PageFileName(1)));
    EXPECT_FALSE(fileExists(PageFileName(2)));
    EXPECT_TRUE(fileExists(PageFileName(4)));

    // No cap at 1000 pages.
    for (int n = 1; n <= 1005; ++n)
        Touch(PageFileName(n));
    EXPECT_EQ(StoredPageCount(), 1005);
    gdi_->ClearStoredPages();
    EXPECT_EQ(StoredPageCount(), 0);
    EXPECT_FALSE(fileExists(PageFileName(1005)));
    EXPECT_EQ(gdi_->PageCount(), 0);
}

TEST(Conversions, UnitsAndPixelsOnA300DpiPrinter)
{
    TempDir dir;
    TestPrinter printer(dir.path(), 2400, 3300, 300);
    SetMetricUnits(false);
    EXPECT_EQ(UnitsToPixels(1.0, false), 300);
    EXPECT_EQ(UnitsToPixels(35000.5, false), 0);
    EXPECT_EQ(UnitsToPixels(-0.1, true), 0);
    EXPECT_DOUBLE_EQ(PixelsToUnits(600, true), 2.0);
    EXPECT_DOUBLE_EQ(PixelsToUnits(-600, true), 0.0);
    SetMetricUnits(true);
    EXPECT_EQ(UnitsToPixels(1.0, false), 118);
    EXPECT_NEAR(PixelsToUnits(600, true), 5.08, 1e-9);
    SetMetricUnits(false);
    EXPECT_EQ(RoundDiv(5, 2), 2);
    EXPECT_EQ(RoundDiv(7, 2), 4);
    EXPECT_EQ(RoundDiv(2401, 2), 1200);
}

TEST_F(Surface, BeginDocumentWritesThePrinterSection)
{
    SettingsFile settings;
    settings.writeString("Velm", "Kept", "yes");
    gdi_->BeginDocument(static_cast<TColor>(0x8000000F), "My Heading", 12.5); // button face
    EXPECT_EQ(settings.readString("Printer", "PageHeight", ""), "6600");
    EXPECT_EQ(settings.readString("Printer", "PageWidth", ""), "4800");
    EXPECT_EQ(settings.readString("Printer", "PageMarginBottom", ""), "0"); // a printer without margins
    EXPECT_EQ(settings.readString("Printer", "Orientation", ""), "Portrait");
    EXPECT_EQ(settings.readString("Printer", "View Background", ""), "12632256");
    EXPECT_EQ(settings.readString("Printer", "Preview Heading", ""), "My Heading");
    EXPECT_EQ(settings.readString("Printer", "PrinterName", ""), "Velm Test 600");
    EXPECT_EQ(settings.readString("Printer", "PrinterIndex", ""),
              std::to_string(Printers::instance().printerIndex()));
    EXPECT_EQ(settings.readString("Printer", "ZoomFactor", ""), "12.5");
    EXPECT_EQ(settings.readString("Printer", "Directory", ""), dir_.path());
    EXPECT_EQ(settings.readString("Velm", "Kept", ""), "yes");

    gdi_->BeginDocument(11234567, "Again", 100);
    EXPECT_EQ(settings.readString("Printer", "View Background", ""), "11234567");
    EXPECT_EQ(settings.readString("Printer", "ZoomFactor", ""), "100");
}

TEST_F(Surface, PagesAreSavedWhenClosedAndDescribeThePrinterPage)
{
    Begin();
    EXPECT_EQ(gdi_->PageCount(), 1);
    EXPECT_FALSE(fileExists(PageFileName(1))); // the open page has no file yet
    gdi_->NewPage();
    EXPECT_TRUE(fileExists(PageFileName(1)));
    EXPECT_EQ(gdi_->PageCount(), 2);
    gdi_->EndPage();
    EXPECT_TRUE(fileExists(PageFileName(2)));
    for (int n : {1, 2}) {
        EXPECT_EQ(fileAttributes(PageFileName(n)) & (faArchive | faReadOnly), 0);
        const EmfReader reader = EmfReader::fromFile(PageFileName(n));
        ASSERT_TRUE(reader.isValid()) << reader.problem();
        EXPECT_EQ(reader.space().widthPx, 4800);
        EXPECT_EQ(reader.space().heightPx, 6600);
    }
}

// The job's folder is the one it began in, and pages in a private job
// folder, where no folder monitor looks, are not marked seen.
TEST_F(Surface, PagesStayInTheFolderTheJobBeganInMarkedUnlessPrivate)
{
    for (const bool isPrivate : {false, true}) {
        SCOPED_TRACE(isPrivate);
        DeletePageFiles();
        if (isPrivate)
            Touch(dir_.file(kPrivateJobMark));
        gdi_ = std::make_unique<TGdi>();
        Begin();
        {
            CurrentDir elsewhere("/");
            gdi_->NewPage();
        }
        gdi_->EndPage();
        for (int n : {1, 2})
            EXPECT_EQ(fileAttributes(PageFileName(n)) & faArchive,
                      isPrivate ? faArchive : 0);
    }
}

TEST_F(Surface, AnOpenPageIsDroppedWithTheSurface)
{
    Begin();
    gdi_.reset();
    EXPECT_EQ(StoredPageCount(), 0);
}

TEST_F(Surface, APageThatCannotBeSavedRaisesAnError)
{
    std::filesystem::create_directory(PageFileName(1));
    Begin();
    gdi_->TextAt(100, 100, "lost");
    EXPECT_THROW(gdi_->EndPage(), std::exception);
}

TEST_F(Surface, FontsAreScaledToThePrinter)
{
    Begin();
    gdi_->SetFont(TFont{"Arial", -13, clWindowText, fsBold, 96});
    EXPECT_EQ(gdi_->FontHeight(), 81);
    EXPECT_EQ(PrinterCanvas().Font.Height, 81);
    EXPECT_TRUE(gdi_->Bold());
    gdi_->TextAt(100, 200, "Ten points");
    gdi_->SetItalic(true);
    gdi_->TextAt(100, 400, "italic");
    const auto texts = Finish().texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].font.height, 81);
    EXPECT_EQ(texts[0].font.weight, 700);
    EXPECT_FALSE(texts[0].font.italic);
    EXPECT_TRUE(texts[1].font.italic);
    EXPECT_EQ(texts[1].font.weight, 700);
}

TEST_F(Surface, RecordedAdvancesAreTheMeasuredWidths)
{
    Begin();
    gdi_->SetFont(kContents);
    const std::string text = "Measured once, printed as measured";
    const int width = gdi_->TextWidth(text);
    gdi_->TextAt(300, 500, text);
    EXPECT_EQ(gdi_->X(), 300 + width);
    const auto texts = Finish().texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].x, 300);
    EXPECT_EQ(texts[0].y, 500);
    EXPECT_EQ(texts[0].width, width);
}

TEST_F(Surface, LongTextsAreDrawnWhole)
{
    Begin();
    gdi_->SetFont(kContents);
    gdi_->TextAt(0, 100, std::string(600, 'i'));
    ContentsArea();
    gdi_->SetFont(TFont{"Arial", 2, clWindowText, 0, 96});
    std::string text(300, 'l');
    int y = 391;
    EXPECT_TRUE(gdi_->PutText(y, text));
    const auto texts = Finish().texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text.size(), 600u);
    EXPECT_EQ(texts[1].text.size(), 300u);
}

TEST_F(Surface, NewPagesStartWithTheDevicePenAndBlackText)
{
    Begin();
    gdi_->SetPen(5, clRed);
    gdi_->SetFontColor(clRed);
    gdi_->MoveTo(0, 0);
    gdi_->LineTo(100, 0);
    gdi_->TextAt(0, 10, "red");
    gdi_->NewPage();
    gdi_->MoveTo(0, 0);
    gdi_->LineTo(100, 0);
    gdi_->TextAt(0, 10, "black");
    gdi_->SetFontColor(static_cast<TColor>(0x80000005)); // a system colour draws black
    gdi_->TextAt(0, 20, "system");
    const DecodedPage first = Finish(1);
    const DecodedPage second = DecodePage(PageFileName(2));
    ASSERT_EQ(first.lines().size(), 1u);
    EXPECT_EQ(first.lines()[0].color, rgb(255, 0, 0));
    ASSERT_EQ(second.lines().size(), 1u);
    EXPECT_EQ(second.lines()[0].color, 0u);
    EXPECT_EQ(first.log->callsOf("text")[0]->text.color, rgb(255, 0, 0));
    for (const auto* call : second.log->callsOf("text"))
        EXPECT_EQ(call->text.color, 0u);
    EXPECT_EQ(gdi_->TextColor(), clBlack);
}

TEST_F(Surface, FillsUseTheStockGreyUntilABrushIsSet)
{
    Begin();
    gdi_->FillArea(Rect{10, 10, 100, 100});
    gdi_->SetBrush(TBrush{clRed, bsSolid});
    gdi_->FillArea(Rect{10, 200, 100, 300});
    EXPECT_EQ(PrinterCanvas().Brush.Color, clRed);
    gdi_->SetBrush(TBrush{clBlack, bsDiagCross});
    EXPECT_EQ(PrinterCanvas().Brush.Style, bsDiagCross);
    const DecodedPage page = Finish();
    const auto fills = page.log->callsOf("fill");
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0]->brush.color, rgb(192, 192, 192));
    EXPECT_EQ(fills[1]->brush.color, rgb(255, 0, 0));
    EXPECT_EQ(fills[1]->numbers.at(1), 200);
}

TEST_F(Surface, RulesStickOutOfTheTextArea)
{
    Begin();
    gdi_->SetTextArea(160, 300, 2390, 6480);
    gdi_->DrawRule(1000);
    const auto lines = Finish().lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].x1, 150);
    EXPECT_EQ(lines[0].x2, 2400);
    EXPECT_EQ(lines[0].y1, 1000);
}

TEST_F(Surface, FittingTextIsPlacedInOnePiece)
{
    Begin();
    ContentsArea();
    int y = 391;
    std::string text = "Hello world";
    EXPECT_TRUE(gdi_->PutText(y, text));
    EXPECT_TRUE(text.empty());
    const int afterFirst = gdi_->X();
    std::string more = "again";
    EXPECT_TRUE(gdi_->PutText(y, more));
    EXPECT_EQ(y, 391);
    const auto texts = Finish().texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].x, 170); // 10 pixels in from a left edge that is not 0
    EXPECT_EQ(afterFirst, 170 + texts[0].width);
    EXPECT_EQ(texts[1].x, afterFirst + 10);
}

TEST_F(Surface, LongParagraphsWrapWordByWordUntilTheAreaIsFull)
{
    Begin();
    ContentsArea(391 + 3 * 132);
    const std::vector<std::string> words = Words(200);
    std::string text = Join(words);
    int y = 391;
    EXPECT_FALSE(gdi_->PutText(y, text));
    EXPECT_EQ(y, 391 + 3 * 132);
    const auto texts = Finish().texts();
    ASSERT_EQ(texts.size(), 3u);
    std::string drawn;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(texts[i].x, 170);
        EXPECT_EQ(texts[i].y, 391 + static_cast<int>(i) * 132);
        EXPECT_LE(texts[i].x + texts[i].width, 2390);
        drawn += (drawn.empty() ? "" : " ") + texts[i].text;
    }
    EXPECT_EQ(drawn + " " + text, Join(words));
    // Every line is as full as it can be: its next word would not fit.
    const std::string next = TGdi::FirstWord(text);
    EXPECT_GT(170 + gdi_->TextWidth(texts[2].text + " " + next), 2390);
}

TEST_F(Surface, AWordTooLongForAnyLineIsCutByCharacters)
{
    Begin();
    ContentsArea();
    const std::string word(300, 'm');
    std::string text = word;
    int y = 391;
    EXPECT_TRUE(gdi_->PutText(y, text));
    const auto texts = Finish().texts();
    ASSERT_GE(texts.size(), 2u);
    std::string joined;
    const int fullLine = 2390 - 160 - 10;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_LE(texts[i].width, fullLine);
        if (i + 1 < texts.size()) {
            EXPECT_GT(gdi_->TextWidth(texts[i].text + "m"), fullLine);
        }
        joined += texts[i].text;
    }
    EXPECT_EQ(joined, word);
}

// A word too long for any line never runs past the right edge: after other
// words it starts a line of its own; text that goes on inside a word fills
// its line first; and no cut falls inside a grapheme cluster.
TEST_F(Surface, AWordTooLongForAnyLineStaysInsideTheArea)
{
    Begin();
    ContentsArea();
    const std::string clusters[] = {std::string(250, 'B'),
                                    [] {
                                        std::string s;
                                        for (int i = 0; i < 120; ++i)
                                            s += i % 2 ? "e\u0301" : "\U0001F1E9\U0001F1EA"; // é decomposed, a flag
                                        return s;
                                    }()};
    int y = 391;
    for (const std::string& word : clusters) {
        std::string text = "word word word " + word;
        EXPECT_TRUE(gdi_->PutText(y, text));
        gdi_->CarriageReturn();
        y += 132;
    }
    std::string start = "abc";
    EXPECT_TRUE(gdi_->PutText(y, start));
    const int afterStart = gdi_->X();
    std::string rest(300, 'm');
    EXPECT_TRUE(gdi_->PutText(y, rest, true));
    const auto texts = Finish().texts();
    std::string drawn;
    for (const DecodedText& t : texts) {
        SCOPED_TRACE(t.text);
        EXPECT_GE(t.x, 170);
        EXPECT_LE(t.x + t.width, 2390);
        EXPECT_TRUE(t.text.find('B') == std::string::npos || t.text.find("word") == std::string::npos);
        EXPECT_NE(t.text.substr(0, 2), "\xCC\x81") << "a cut before a combining accent";
        EXPECT_FALSE(t.text.ends_with("\U0001F1E9")) << "a cut inside a flag";
        drawn += t.text;
    }
    EXPECT_EQ(drawn, "word word word" + clusters[0] + "word word word" + clusters[1] + "abc" + std::string(300, 'm'));
    const auto mRun = std::find_if(texts.begin(), texts.end(), [](const DecodedText& t) { return t.text[0] == 'm'; });
    ASSERT_NE(mRun, texts.end());
    EXPECT_EQ(mRun->x, afterStart);
    EXPECT_GT(mRun->x + gdi_->TextWidth(mRun->text + "m"), 2390) << "the joined word fills its line";
}

// Characters of one to four bytes: a piece ending inside one would read as
// Windows-1252 and no longer match the bytes it came from.
TEST_F(Surface, CutsNeverSplitAMultibyteCharacter)
{
    Begin();
    ContentsArea();
    const std::string characters[] = {"m", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    std::string word;
    for (int i = 0; i < 160; ++i)
        word += characters[i % 4];
    std::string text = word;
    int y = 391;
    EXPECT_TRUE(gdi_->PutText(y, text));
    const auto texts = Finish().texts();
    ASSERT_GE(texts.size(), 2u);
    std::string joined;
    for (const auto& t : texts) {
        EXPECT_EQ(t.text, word.substr(joined.size(), t.text.size()));
        joined += t.text;
    }
    EXPECT_EQ(joined, word);
}

// Overlong forms, encoded surrogates and code points above U+10FFFF are not
// UTF-8, so decoding reads them a byte at a time and cutting must too. An
// area too narrow for any character takes one character a line.
TEST_F(Surface, ANarrowAreaTakesOneCharacterALineAsDecodingSeesIt)
{
    Begin();
    gdi_->SetFont(kContents);
    gdi_->SetTextArea(100, 300, 105, 6480);
    gdi_->SetLineHeight(132);
    gdi_->CarriageReturn();
    const std::string malformed = "\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80";
    const std::string valid = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    for (std::string text : {malformed, valid}) {
        int y = 391;
        EXPECT_TRUE(gdi_->PutText(y, text));
    }
    const auto texts = Finish().texts();
    std::vector<std::string> lines;
    for (const auto& t : texts)
        lines.push_back(t.text);
    std::vector<std::string> expected;
    for (char byte : malformed)
        expected.push_back(toUtf8(toUnicode(std::string(1, byte))));
    for (const char* character : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"})
        expected.push_back(character);
    EXPECT_EQ(lines, expected);
}

TEST_F(Surface, AnAreaTooNarrowForOneCharacterStillMovesOn)
{
    Begin();
    gdi_->SetFont(kContents);
    gdi_->SetTextArea(100, 300, 105, 600);
    gdi_->SetLineHeight(132);
    gdi_->CarriageReturn();
    std::string text = "abc";
    int y = 391;
    EXPECT_FALSE(gdi_->PutText(y, text));
    EXPECT_EQ(text, "c");
    EXPECT_EQ(y, 655);
    const auto texts = Finish().texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "a");
    EXPECT_EQ(texts[1].text, "b");
}

TEST(WordPieces, FirstWord)
{
    EXPECT_EQ(TGdi::FirstWord("abc def"), "abc");
    EXPECT_EQ(TGdi::FirstWord(" abc def"), " abc");
    EXPECT_EQ(TGdi::FirstWord("  a"), " ");
    EXPECT_EQ(TGdi::FirstWord("abc"), "abc");
    EXPECT_EQ(TGdi::FirstWord(" abc"), " abc");
}

class GenericSurface : public Surface {
protected:
    GenericSurface() : Surface("Generic / Text Only") {}
};

TEST_F(GenericSurface, DrawsTextButNoLinesOrFills)
{
    EXPECT_TRUE(IsGenericPrinter());
    Begin();
    gdi_->MoveTo(0, 0);
    gdi_->LineTo(100, 100);
    gdi_->FillArea(Rect{0, 0, 100, 100});
    gdi_->DrawRule(500);
    gdi_->TextAt(10, 10, "text");
    const DecodedPage page = Finish();
    EXPECT_TRUE(page.lines().empty());
    EXPECT_TRUE(page.log->callsOf("fill").empty());
    EXPECT_TRUE(page.hasText("text"));
}

TEST(GenericPrinter, TheTestIsCaseSensitive)
{
    TempDir dir;
    TestPrinter printer(dir.path(), 4800, 6600, 600, "generic text");
    EXPECT_FALSE(IsGenericPrinter());
}

// The built-in printer prints the footer's stamp and page number in its
// margin below the printable height; the preview learns how much paper is there.
TEST(BuiltInPrinter, BeginDocumentRecordsThePaperBelowThePrintableArea)
{
    TempDir dir;
    CurrentDir here(dir.path());
    Printers& printers = Printers::instance();
    const int previous = printers.printerIndex();
    ASSERT_TRUE(printers.selectByName("Velm PDF"));
    const PrinterCaps caps = printers.selected().caps();
    TGdi gdi;
    gdi.BeginDocument(clWhite, "Margin", 100);
    gdi.EndPage();
    printers.setPrinterIndex(previous);
    EXPECT_GT(caps.marginBottom, 0);
    EXPECT_EQ(SettingsFile().readString("Printer", "PageMarginBottom", ""), std::to_string(caps.marginBottom));
}

} // namespace
} // namespace velm
