// Stored pages as standard metafiles: what the recorder writes, the reader
// reads back record for record, damaged files are refused safely, and
// standard readers place the page at its real size.
#include "platform/emf_reader.h"
#include "platform/emf_recorder.h"
#include "platform/emf_records.h"
#include "platform/fonts.h"
#include "platform/logging_device.h"
#include "platform/painter_device.h"
#include "support/testing.h"

#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <gtest/gtest.h>

#include <random>

using namespace velm;
using velm::testing::TempDir;

namespace {

const PageGeometry kPage{4800, 6600, 600, 600};

LogFont arial(int height, int weight = 400)
{
    LogFont f;
    f.height = height;
    f.weight = weight;
    f.faceName = u"Arial";
    return f;
}

// A page with one of everything the drawing surface records.
std::vector<std::uint8_t> samplePage(const std::u16string& top = u"FIRST LINE",
                                     const std::u16string& bottom = u"LAST LINE")
{
    EmfRecorder page(kPage);
    page.setBkMode(TRANSPARENT);
    const GdiHandle font = page.createFont(arial(-88, 700));
    const GdiHandle oldFont = page.selectObject(font);
    page.setTextColor(rgb(255, 0, 0));
    page.textOut(160, 391, top, textAdvances(arial(-88, 700), top));
    page.textOut(3800, 6300, bottom, textAdvances(arial(-88, 700), bottom));
    const GdiHandle pen = page.createPen({PS_SOLID, 1, 0});
    const GdiHandle oldPen = page.selectObject(pen);
    for (int y = 200; y <= 205; ++y) {
        page.moveTo(100, y);
        page.lineTo(2000, y);
    }
    const GdiHandle brush = page.createBrush({BS_SOLID, rgb(192, 192, 192), 0});
    page.fillRect({100, 400, 300, 500}, brush);
    page.selectObject(oldPen);
    page.deleteObject(pen);
    page.selectObject(oldFont);
    page.deleteObject(font);
    page.deleteObject(brush);
    return page.finish();
}

} // namespace

TEST(Emf, HeaderDescribesThePrinterPageAndTotalsMatch)
{
    const std::vector<std::uint8_t> bytes = samplePage();
    EXPECT_EQ(emf::readU32(&bytes[40]), emf::kSignature);
    EXPECT_EQ(emf::readU32(&bytes[48]), bytes.size());                  // nBytes
    EXPECT_EQ(emf::readI32(&bytes[72]), 4800);                          // szlDevice
    EXPECT_EQ(emf::readI32(&bytes[76]), 6600);
    EXPECT_EQ(emf::readI32(&bytes[80]), 203);                           // 4800 px at 600 dpi = 203.2 mm
    EXPECT_EQ(emf::readI32(&bytes[100]), 203200);                       // micrometres
    EXPECT_EQ(emf::readI32(&bytes[32]), 20319);                         // frame, inclusive 0.01 mm
    std::size_t records = 0, offset = 0;
    std::uint32_t lastSize = 0;
    while (offset < bytes.size()) {
        lastSize = emf::readU32(&bytes[offset + 4]);
        ASSERT_EQ(lastSize % 4, 0u);
        offset += lastSize;
        ++records;
    }
    EXPECT_EQ(offset, bytes.size());
    EXPECT_EQ(emf::readU32(&bytes[52]), records);
    EXPECT_EQ(emf::readU32(&bytes[bytes.size() - 4]), lastSize);        // EOF's trailing size
    EXPECT_EQ(emf::readU16(&bytes[56]), 4);                             // slots 1..3 used, plus slot 0
}

TEST(Emf, GoldenTextRecordAndColourOrder)
{
    EmfRecorder page(kPage);
    page.setTextColor(rgb(255, 0, 0));
    page.textOut(10, 20, u"abc", {5, 6, 7});
    const std::vector<std::uint8_t> bytes = page.finish();
    // The last two records before EOF: SETTEXTCOLOR then EXTTEXTOUTW.
    std::size_t offset = 0, text = 0, color = 0;
    while (offset < bytes.size()) {
        const std::uint32_t type = emf::readU32(&bytes[offset]);
        if (type == emf::EMR_EXTTEXTOUTW) text = offset;
        if (type == emf::EMR_SETTEXTCOLOR) color = offset;
        offset += emf::readU32(&bytes[offset + 4]);
    }
    ASSERT_NE(text, 0u);
    EXPECT_EQ(bytes[color + 8], 0xFF);
    EXPECT_EQ(bytes[color + 9], 0x00);
    EXPECT_EQ(emf::readU32(&bytes[text + 4]), 76u + 8 + 12);            // nSize = offDx + 4 n
    EXPECT_EQ(emf::readU32(&bytes[text + 44]), 3u);                     // nChars
    EXPECT_EQ(emf::readU32(&bytes[text + 48]), 76u);                    // offString
    EXPECT_EQ(emf::readU32(&bytes[text + 72]), 84u);                    // offDx
    EXPECT_EQ(emf::readU16(&bytes[text + 76]), u'a');
    EXPECT_EQ(emf::readI32(&bytes[text + 88]), 6);
}

TEST(Emf, ReaderPlaysBackWhatWasRecorded)
{
    LoggingDevice log;
    const EmfPlayResult result = EmfReader(samplePage()).play(log);
    ASSERT_TRUE(result.ok) << result.problem;
    ASSERT_EQ(log.texts(), (std::vector<std::string>{"FIRST LINE", "LAST LINE"}));
    const auto texts = log.callsOf("text");
    EXPECT_EQ(texts[0]->numbers, (std::vector<double>{160, 391}));
    EXPECT_EQ(texts[0]->text.font.height, -88);
    EXPECT_EQ(texts[0]->text.font.weight, 700);
    EXPECT_EQ(texts[0]->text.color, rgb(255, 0, 0));
    EXPECT_EQ(texts[0]->text.bkMode, TRANSPARENT);
    const std::vector<int> advances = textAdvances(arial(-88, 700), u"FIRST LINE");
    EXPECT_EQ(texts[0]->text.dx, std::vector<double>(advances.begin(), advances.end()));
    const auto lines = log.callsOf("line");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5]->numbers, (std::vector<double>{100, 205, 2000, 205}));
    const auto fills = log.callsOf("fill");
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0]->numbers, (std::vector<double>{100, 400, 300, 500}));
    EXPECT_EQ(fills[0]->brush.color, rgb(192, 192, 192));
    EXPECT_EQ(log.calls().front().kind, "begin");
    EXPECT_EQ(log.calls().back().kind, "end");
}

TEST(Emf, DamagedFilesAreRefusedOrPlayedAsFarAsSound)
{
    const std::vector<std::uint8_t> good = samplePage();
    EXPECT_FALSE(EmfReader({}).isValid());
    EXPECT_FALSE(EmfReader(std::vector<std::uint8_t>(good.begin(), good.begin() + 60)).isValid());
    EXPECT_FALSE(EmfReader::fromFile("/nonexistent/PRN001.EMF").isValid());

    // Truncated in the middle of the records: plays the sound part, reports the rest.
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() - 30));
    LoggingDevice log;
    const EmfPlayResult truncated = EmfReader(cut).play(log);
    EXPECT_FALSE(truncated.ok);
    EXPECT_FALSE(truncated.problem.empty());
    EXPECT_EQ(log.calls().back().kind, "end");

    // Random corruption of every byte position class never crashes or reads out of bounds.
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bad = good;
        const int changes = 1 + round % 8;
        for (int i = 0; i < changes; ++i)
            bad[random() % bad.size()] = static_cast<std::uint8_t>(random());
        if (round % 5 == 0)
            bad.resize(random() % bad.size());
        LoggingDevice sink;
        EmfReader(std::move(bad)).play(sink);
    }
}

TEST(Emf, PainterPlaysBandsAndTextOntoAnImage)
{
    QImage image(4800 / 4, 6600 / 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.scale(0.25, 0.25);
        PainterDevice device(painter);
        ASSERT_TRUE(EmfReader(samplePage()).play(device).ok);
    }
    // The 6-line band 200..205 from x 100 to 2000 is solid black at quarter scale.
    EXPECT_EQ(QColor(image.pixel(250, 51)), QColor(Qt::black));
    EXPECT_EQ(QColor(image.pixel(400, 50)), QColor(Qt::black));
    EXPECT_EQ(QColor(image.pixel(400, 40)), QColor(Qt::white));
    // The grey fill.
    EXPECT_EQ(QColor(image.pixel(50, 112)), QColor(192, 192, 192));
    // Red text somewhere in its line.
    bool red = false;
    for (int x = 40; x < 300 && !red; ++x)
        for (int y = 95; y < 125 && !red; ++y)
            red = qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) < 80;
    EXPECT_TRUE(red);
}

TEST(Emf, PdfThroughThePainterKeepsSelectableText)
{
    TempDir dir;
    const std::string pdf = dir.file("page.pdf");
    {
        QPdfWriter writer(QString::fromStdString(pdf));
        writer.setResolution(600);
        writer.setPageSize(QPageSize(QSizeF(203.2, 279.4), QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        PainterDevice device(painter);
        ASSERT_TRUE(EmfReader(samplePage(u"Caf\u00e9 \u00ae \u00a9 first", u"last words")).play(device).ok);
    }
    std::string text;
    ASSERT_EQ(velm::testing::run("pdftotext -layout '" + pdf + "' -", &text), 0);
    EXPECT_NE(text.find("Caf\u00e9 \u00ae \u00a9 first"), std::string::npos) << text;
    EXPECT_NE(text.find("last words"), std::string::npos) << text;
}

TEST(Emf, StandardReadersShowTheWholePage)
{
    TempDir dir;
    const std::string emf = dir.file("PRN001.EMF");
    const std::vector<std::uint8_t> bytes = samplePage();
    dir.write("PRN001.EMF", std::string(bytes.begin(), bytes.end()));

    if (velm::testing::run("command -v emf2svg-conv >/dev/null") != 0)
        GTEST_SKIP() << "emf2svg-conv is not installed";
    ASSERT_EQ(velm::testing::run("emf2svg-conv -i '" + emf + "' -o '" + dir.file("page.svg") + "' 2>&1"), 0);
    const std::string svg = velm::testing::readFile(dir.file("page.svg"));
    EXPECT_NE(svg.find("FIRST LINE"), std::string::npos);

    if (velm::testing::run("command -v soffice >/dev/null") != 0)
        GTEST_SKIP() << "LibreOffice is not installed";
    // A header describing a display instead of the page would push the bottom text off the picture.
    ASSERT_EQ(velm::testing::run("cd '" + dir.path() + "' && HOME='" + dir.path() +
                                 "' soffice --headless --convert-to pdf --outdir '" + dir.path() + "' '" + emf +
                                 "' >/dev/null 2>&1"),
              0);
    std::string text;
    ASSERT_EQ(velm::testing::run("pdftotext '" + dir.file("PRN001.pdf") + "' -", &text), 0);
    EXPECT_NE(text.find("FIRST LINE"), std::string::npos) << text;
    EXPECT_NE(text.find("LAST LINE"), std::string::npos) << text;
}
