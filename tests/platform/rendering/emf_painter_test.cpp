// The QPainter player: GDI's pixel rules at 1:1, frame bands that stay
// solid when scaled, text placed at the recorded advances, and the caller's
// painter left as found.
#include "support/emf_test_support.h"

#include "platform/metafile/emf_reader.h"
#include "platform/rendering/fonts.h"
#include "platform/rendering/painter_device.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <numeric>

namespace velm {
namespace {

using emftest::Bytes;

bool black(QRgb p) { return qRed(p) < 64 && qGreen(p) < 64 && qBlue(p) < 64; }
bool white(QRgb p) { return qRed(p) > 240 && qGreen(p) > 240 && qBlue(p) > 240; }

QImage blankImage(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// A stored page played onto an image: `shift` moves the page (1:1 shows a
// window of it), `scale` scales it as the preview does.
QImage render(const Bytes& page, QSize size, QPointF shift = {}, double scale = 1.0)
{
    QImage image = blankImage(size.width(), size.height());
    QPainter painter(&image);
    painter.translate(shift);
    painter.scale(scale, scale);
    PainterDevice device(painter);
    const EmfPlayResult result = EmfReader(page).play(device);
    EXPECT_TRUE(result.ok) << result.problem;
    return image;
}

PageSpace space(int w, int h)
{
    PageSpace s;
    s.widthPx = w;
    s.heightPx = h;
    s.widthMm = w * 25.4 / 600;
    s.heightMm = h * 25.4 / 600;
    return s;
}

// Rows (or columns) of the image along a line that are black.
std::vector<int> blackRows(const QImage& image, int x, int from, int to)
{
    std::vector<int> rows;
    for (int y = from; y <= to; ++y)
        if (black(image.pixel(x, y)))
            rows.push_back(y);
    return rows;
}

std::vector<int> range(int from, int to)
{
    std::vector<int> out;
    for (int i = from; i <= to; ++i)
        out.push_back(i);
    return out;
}

QRect inkBox(const QImage& image, QRect area, bool (*ink)(QRgb))
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (ink(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

bool red(QRgb p) { return qRed(p) > 150 && qGreen(p) < 110 && qBlue(p) < 110; }
bool notWhite(QRgb p) { return !white(p); }

TEST(PainterDevice, LinesAndFillsCoverGdisPixelsAtOneToOne)
{
    QImage image = blankImage(200, 200);
    {
        QPainter painter(&image);
        PainterDevice device(painter);
        device.beginPage(space(200, 200));
        const LogPen one{PS_SOLID, 1, 0};
        device.line({10, 10}, {20, 10}, one, 1);     // pixels 10..19
        device.line({30, 12}, {20, 12}, one, 1);     // leftwards: 21..30
        device.line({40, 10}, {40, 20}, one, 1);     // rows 10..19
        device.line({50, 10}, {60, 10}, LogPen{PS_SOLID, 0, 0}, 1); // cosmetic: one pixel
        device.line({70, 10}, {70, 10}, one, 1);     // nothing
        device.fillRect(100, 100, 110, 105, LogBrush{BS_SOLID, 0, 0});
        device.rectangle(120, 120, 130, 126, one, 1, LogBrush{BS_SOLID, rgb(255, 0, 0), 0});
        device.rectangle(140, 120, 150, 126, LogPen{PS_NULL, 0, 0}, 1, LogBrush{BS_SOLID, 0, 0});
        device.line({10, 50}, {110, 50}, LogPen{PS_SOLID | PS_ENDCAP_FLAT, 7, 0}, 1);
        device.line({10, 80}, {110, 80}, LogPen{PS_NULL, 1, 0}, 1);
        device.endPage();
    }
    auto row = [&](int y, int from, int to) {
        std::vector<int> xs;
        for (int x = from; x <= to; ++x)
            if (black(image.pixel(x, y)))
                xs.push_back(x);
        return xs;
    };
    EXPECT_EQ(row(10, 0, 35), range(10, 19));
    EXPECT_EQ(row(11, 0, 35), std::vector<int>{});
    EXPECT_EQ(row(12, 0, 35), range(21, 30));
    EXPECT_EQ(blackRows(image, 40, 0, 30), range(10, 19));
    EXPECT_EQ(row(10, 45, 65), range(50, 59));
    EXPECT_EQ(row(9, 45, 65), std::vector<int>{});
    EXPECT_TRUE(white(image.pixel(70, 10)));
    // fillRect: exactly [100, 110) x [100, 105).
    EXPECT_EQ(row(100, 95, 115), range(100, 109));
    EXPECT_EQ(blackRows(image, 105, 95, 110), range(100, 104));
    // Rectangle: a one-pixel outline inside [120, 130) x [120, 126), red inside.
    EXPECT_EQ(row(120, 115, 135), range(120, 129));
    EXPECT_EQ(row(125, 115, 135), range(120, 129));
    EXPECT_EQ(row(126, 115, 135), std::vector<int>{});
    EXPECT_EQ(row(122, 115, 135), (std::vector<int>{120, 129}));
    EXPECT_TRUE(red(image.pixel(125, 122)));
    // Without a pen GDI's fill is one pixel smaller.
    EXPECT_EQ(row(120, 135, 155), range(140, 148));
    EXPECT_EQ(blackRows(image, 145, 115, 130), range(120, 124));
    // A wide pen is centred on the pixel row; flat caps stop it at the end
    // points' pixel centres.
    EXPECT_EQ(blackRows(image, 60, 40, 60), range(47, 53));
    const std::vector<int> wide = row(50, 0, 120);
    ASSERT_FALSE(wide.empty());
    EXPECT_NEAR(wide.front(), 10.5, 0.6);
    EXPECT_NEAR(wide.back(), 109.5, 0.6);
    EXPECT_EQ(row(80, 0, 120), std::vector<int>{});
}

TEST(PainterDevice, FrameBandsAreSolidAtOneToOneAndScaled)
{
    const Bytes page = emftest::samplePage(textAdvances);
    // 1:1, a window on the top-left corner and one on the right edge.
    const QImage corner = render(page, QSize(800, 800));
    EXPECT_EQ(blackRows(corner, 400, 150, 260), range(200, 205));
    std::vector<int> columns;
    for (int x = 150; x <= 260; ++x)
        if (black(corner.pixel(x, 400)))
            columns.push_back(x);
    EXPECT_EQ(columns, range(200, 205));
    // The grey header fill [300, 4500) x [500, 700).
    EXPECT_EQ(QColor(corner.pixel(300, 500)), QColor(192, 192, 192));
    EXPECT_TRUE(white(corner.pixel(299, 500)));
    EXPECT_TRUE(white(corner.pixel(300, 700)));

    const QImage right = render(page, QSize(800, 800), QPointF(-4200, 0));
    columns.clear();
    for (int x = 300; x <= 500; ++x)
        if (black(right.pixel(x, 400)))
            columns.push_back(x + 4200);
    EXPECT_EQ(columns, range(4595, 4600));

    // The preview's quarter scale: the band is still solid black.
    const QImage quarter = render(page, QSize(1200, 1650), {}, 0.25);
    EXPECT_TRUE(black(quarter.pixel(400, 50)));
    EXPECT_TRUE(black(quarter.pixel(50, 400)));
    EXPECT_TRUE(white(quarter.pixel(400, 45)));
    // A tenth (the band is 0.6 pixel): still one visible pixel, not lost.
    const QImage tenth = render(page, QSize(480, 660), {}, 0.1);
    EXPECT_FALSE(blackRows(tenth, 200, 15, 25).empty());
}

TEST(PainterDevice, TextSitsWhereItWasMeasured)
{
    const Bytes page = emftest::samplePage(textAdvances);
    // "FIRST LINE" (Arial bold, em 88) with TA_TOP at (400, 300).
    const QImage image = render(page, QSize(1600, 600));
    const LogFont font = emftest::arial(-88, 700);
    const std::vector<int> dx = textAdvances(font, u"FIRST LINE");
    const int width = std::accumulate(dx.begin(), dx.end(), 0);
    const QRect ink = inkBox(image, QRect(300, 250, 1300, 300), black);
    ASSERT_FALSE(ink.isEmpty());
    // Baseline = top + ascent (0.905 em = 79.6); capitals 0.716 em high.
    EXPECT_NEAR(ink.bottom() + 1, 300 + 79.6, 2);
    EXPECT_NEAR(ink.top(), 300 + 79.6 - 63, 3);
    EXPECT_NEAR(ink.left(), 400 + 6, 6);
    EXPECT_LE(ink.right(), 400 + width);
    EXPECT_GE(ink.right(), 400 + width - 12);
}

TEST(PainterDevice, GlyphsFollowTheAdvancesAlignmentAndBackground)
{
    QImage image = blankImage(1200, 400);
    {
        QPainter painter(&image);
        PainterDevice device(painter);
        device.beginPage(space(1200, 400));
        TextRun run;
        run.font = emftest::arial(-60);
        run.text = u"II";
        run.dx = {300, 40}; // the second I far to the right of its natural place
        run.origin = {100, 50};
        run.color = rgb(255, 0, 0);
        run.bkMode = TRANSPARENT;
        device.text(run);
        // Right-aligned, baseline, opaque yellow cell box.
        TextRun right = run;
        right.text = u"I";
        right.dx = {50};
        right.origin = {1000, 300};
        right.align = TA_RIGHT | TA_BASELINE;
        right.bkMode = OPAQUE;
        right.bkColor = rgb(255, 255, 0);
        device.text(right);
        device.endPage();
    }
    const QRect first = inkBox(image, QRect(90, 40, 100, 100), red);
    const QRect second = inkBox(image, QRect(380, 40, 100, 100), red);
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    EXPECT_NEAR(second.left() - first.left(), 300, 1);
    const QRect box = inkBox(image, QRect(900, 200, 200, 150), [](QRgb p) {
        return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 80;
    });
    EXPECT_EQ(box.left(), 950);
    EXPECT_EQ(box.right(), 999);
    EXPECT_NEAR(box.top(), 300 - 54.3, 1.5);   // ascent 0.905 em
    EXPECT_NEAR(box.bottom(), 300 + 12.7, 1.5); // descent 0.212 em
    const QRect glyph = inkBox(image, QRect(940, 230, 70, 90), red);
    ASSERT_FALSE(glyph.isEmpty());
    EXPECT_EQ(glyph.bottom(), 299) << "the baseline is at y = 300";
}

TEST(PainterDevice, UnderlinedAndRotatedText)
{
    QImage image = blankImage(600, 600);
    {
        QPainter painter(&image);
        PainterDevice device(painter);
        device.beginPage(space(600, 600));
        TextRun run;
        run.font = emftest::arial(-60);
        run.font.underline = true;
        run.text = u"ab";
        run.dx = {100, 100};
        run.origin = {100, 100};
        run.align = TA_BASELINE;
        run.bkMode = TRANSPARENT;
        device.text(run);
        // 90 degrees counter-clockwise: the text runs up the page from its origin.
        TextRun up;
        up.font = emftest::arial(-60);
        up.font.escapement = 900;
        up.text = u"HHH";
        up.origin = {300, 500};
        up.bkMode = TRANSPARENT;
        device.text(up);
        device.endPage();
    }
    // The underline: a dark row a few pixels below the baseline, under both letters.
    int underline = -1;
    for (int y = 101; y < 115 && underline < 0; ++y)
        if (black(image.pixel(110, y)) && black(image.pixel(250, y)) && black(image.pixel(290, y)))
            underline = y;
    EXPECT_GE(underline, 102) << "no underline below the baseline";
    const QRect rotated = inkBox(image, QRect(250, 200, 150, 320), black);
    ASSERT_FALSE(rotated.isEmpty());
    EXPECT_GT(rotated.height(), 2 * rotated.width()) << "three letters stacked upwards";
    EXPECT_LE(rotated.bottom(), 500);
    EXPECT_GE(rotated.left(), 300);
    EXPECT_LE(rotated.right(), 300 + 60);
}

// A glyph stretched thousands of pixels long and a few high is past what
// the bitmap rasterizer takes: it is drawn as its outline, without a word
// from Qt, instead of being dropped.
TEST(PainterDevice, TextUnderALopsidedScaleIsDrawnWhole)
{
    static std::vector<std::string> warnings;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type != QtDebugMsg && type != QtInfoMsg)
                warnings.push_back(text.toStdString());
        });
    QImage image = blankImage(3000, 40);
    {
        QPainter painter(&image);
        painter.scale(64, 0.12); // a "W" of 22 pixels on its side: 1400 long, 2 high
        PainterDevice device(painter);
        device.beginPage(space(75, 300));
        TextRun run;
        run.font = emftest::arial(-22);
        run.font.escapement = 900;
        run.text = u"W";
        run.origin = {30, 200};
        run.bkMode = TRANSPARENT;
        device.text(run);
        device.endPage();
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_GT(inkBox(image, image.rect(), notWhite).width(), 600) << "the W is drawn";
}

TEST(PainterDevice, CharactersTheFaceLacksComeFromAFallbackFace)
{
    QImage image = blankImage(600, 200);
    {
        QPainter painter(&image);
        PainterDevice device(painter);
        device.beginPage(space(600, 200));
        TextRun run;
        run.font = emftest::arial(-80);
        run.text = u"\u2713\u2713"; // CHECK MARK: not in Liberation Sans
        run.dx = {200, 200};
        run.origin = {50, 50};
        run.bkMode = TRANSPARENT;
        device.text(run);
        device.endPage();
    }
    EXPECT_FALSE(inkBox(image, QRect(40, 40, 150, 120), black).isEmpty());
    EXPECT_FALSE(inkBox(image, QRect(240, 40, 150, 120), black).isEmpty());
}

TEST(PainterDevice, ClipsAndThePaintersStateAreLeftAsFound)
{
    QImage image = blankImage(400, 400);
    QPainter painter(&image);
    painter.translate(10, 10);
    painter.setClipRect(QRect(0, 0, 200, 200));
    const QTransform before = painter.transform();
    {
        PainterDevice device(painter);
        device.beginPage(space(300, 300));
        const LogBrush black{BS_SOLID, 0, 0};
        device.intersectClip(0, 0, 50, 50);
        device.fillRect(0, 0, 100, 100, black);   // only [0, 50) shows
        device.resetClip();                      // back to the caller's clip and the page
        device.fillRect(150, 150, 400, 400, black); // cut at the caller's 200
        device.endPage();
    }
    EXPECT_EQ(painter.transform(), before);
    EXPECT_TRUE(painter.hasClipping());
    painter.end();
    EXPECT_TRUE(black(image.pixel(10 + 49, 10 + 49)));
    EXPECT_TRUE(white(image.pixel(10 + 50, 10 + 10)));
    EXPECT_TRUE(black(image.pixel(10 + 199, 10 + 199)));
    EXPECT_TRUE(white(image.pixel(10 + 200, 10 + 180)));
    EXPECT_TRUE(white(image.pixel(10 + 250, 10 + 250)));

    // The page clip: nothing outside (0, 0, width, height).
    QImage page = blankImage(300, 300);
    {
        QPainter p(&page);
        PainterDevice device(p);
        device.beginPage(space(100, 100));
        device.fillRect(50, 50, 200, 200, LogBrush{BS_SOLID, 0, 0});
        device.endPage();
        PainterDevice unclipped(p, false);
        unclipped.beginPage(space(100, 100));
        unclipped.fillRect(250, 0, 260, 10, LogBrush{BS_SOLID, 0, 0});
        unclipped.endPage();
    }
    EXPECT_TRUE(black(page.pixel(99, 99)));
    EXPECT_TRUE(white(page.pixel(100, 99)));
    EXPECT_TRUE(black(page.pixel(255, 5)));
}

TEST(PainterDevice, HatchedAndNullBrushes)
{
    QImage image = blankImage(200, 100);
    {
        QPainter painter(&image);
        PainterDevice device(painter);
        device.beginPage(space(200, 100));
        device.fillRect(0, 0, 64, 64, LogBrush{BS_HATCHED, rgb(0, 0, 255), HS_HORIZONTAL});
        device.fillRect(100, 0, 164, 64, LogBrush{BS_NULL, 0, 0});
        device.endPage();
    }
    int blue = 0, clear = 0;
    for (int y = 0; y < 64; ++y) {
        const QRgb p = image.pixel(30, y);
        if (qBlue(p) > 200 && qRed(p) < 60)
            ++blue;
        else if (white(p))
            ++clear;
    }
    EXPECT_GT(blue, 4);
    EXPECT_GT(clear, 32) << "hatch lines, not a solid fill";
    EXPECT_TRUE(inkBox(image, QRect(100, 0, 64, 64), notWhite).isEmpty());
}

} // namespace
} // namespace velm
