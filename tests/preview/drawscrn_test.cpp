#include "preview/Drawscrn.h"

#include "preview_support.h"

#include "platform/metafile/emf_reader.h"
#include "platform/core/errors.h"
#include "platform/rendering/painter_device.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <memory>

using namespace velm;
using namespace velm::testing;

namespace {

class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallDesktopPresenter();
        ResetSettings();
        SetPrinterKey("Directory", pages.path());
    }

    TempDir pages;
    TempDir elsewhere;
    CurrentDir restore{elsewhere.path()};
};

QSize SizeAt(TDrawIt& canvas, double percent)
{
    canvas.SetZoom(percent);
    return canvas.size();
}

TEST_F(CanvasTest, SizesFollowTheZoomWithTheFixedScale)
{
    TDrawIt canvas;
    EXPECT_EQ(canvas.size(), QSize(850, 1102));
    EXPECT_EQ(SizeAt(canvas, 100), QSize(850, 1122));
    EXPECT_EQ(SizeAt(canvas, 50), QSize(425, 571));
    EXPECT_EQ(SizeAt(canvas, 10), QSize(85, 130));
    EXPECT_EQ(canvas.Zoom(), 10);
    EXPECT_EQ(SizeAt(canvas, 12.5), QSize(106, 157)); // 106.25 -> 106, 137.4 -> 137
    EXPECT_EQ(canvas.Zoom(), 12);                      // halves to even
}

TEST_F(CanvasTest, ScaleStaysFixedForOtherPageWidths)
{
    SetPrinterKey("PageWidth", "4800");
    SetPrinterKey("PageHeight", "6600");
    TDrawIt canvas;
    EXPECT_EQ(canvas.size(), QSize(850, 1169));
    EXPECT_EQ(SizeAt(canvas, 100), QSize(1700, 2358)); // 4800 * 17/48, 1700 * 1.375 + 20
}

TEST_F(CanvasTest, AnyTypedZoomGivesACanvasThatPaints)
{
    WriteStoredPages(pages.path(), 1);
    TDrawIt canvas;
    for (double percent : {0.0, -50.0, 1e12, -1e12, 1e300}) {
        canvas.SetZoom(percent);
        EXPECT_GE(canvas.width(), 0) << percent;
        EXPECT_LE(canvas.width(), TDrawIt::kMaxSide) << percent;
        EXPECT_LE(canvas.height(), TDrawIt::kMaxSide) << percent;
        QImage image(64, 64, QImage::Format_RGB32);
        canvas.render(&image, QPoint(), QRegion(0, 0, 64, 64));
    }
    canvas.SetZoom(0);
    EXPECT_EQ(canvas.size(), QSize(0, 20));
    EXPECT_EQ(canvas.Zoom(), 0);
}

TEST_F(CanvasTest, BadPageSizesStopTheCanvas)
{
    SetPrinterKey("PageHeight", "tall");
    EXPECT_THROW(
        {
            try {
                TDrawIt canvas;
            } catch (const ConversionError& e) {
                EXPECT_STREQ(e.what(), "'tall' is not a valid integer value");
                throw;
            }
        },
        ConversionError);
    SetPrinterKey("PageHeight", "3112");
    SetPrinterKey("PageWidth", "0");
    EXPECT_THROW(TDrawIt canvas, VelmError);
}

TEST_F(CanvasTest, CountsAndDeletesThePagesUpToTheFirstGap)
{
    WriteStoredPages(pages.path(), 4);
    WriteStoredPage(pages.path(), 6);
    pages.write("notes.txt", "mine");
    {
        TDrawIt canvas;
        EXPECT_EQ(currentDirectory(), pages.path());
        EXPECT_EQ(canvas.PageCount(), 4);
        EXPECT_EQ(canvas.GoToPage(7), 4);
        EXPECT_EQ(canvas.GoToPage(0), 1);
        EXPECT_EQ(canvas.GoToPage(-3), 1);
        EXPECT_EQ(canvas.GoToPage(3), 3);
        EXPECT_EQ(canvas.GoToPage(2147483647), 4); // no scan down from a huge number
        canvas.ShowNextPage();
        EXPECT_EQ(canvas.PageNo(), 4);
        canvas.ShowPrevPage();
        canvas.ShowPrevPage();
        canvas.ShowPrevPage();
        canvas.ShowPrevPage();
        EXPECT_EQ(canvas.PageNo(), 1);
        EXPECT_EQ(filesIn(pages.path()).size(), 6u); // nothing goes while it is open
        setCurrentDirectory(elsewhere.path());       // another folder current meanwhile
    }
    EXPECT_EQ(filesIn(pages.path()), (std::vector<std::string>{"PRN006.EMF", "notes.txt"}));
}

TEST_F(CanvasTest, NoStoredPages)
{
    TDrawIt canvas;
    EXPECT_EQ(canvas.PageCount(), 0);
    canvas.ShowNextPage();
    EXPECT_EQ(canvas.PageNo(), 1);
    canvas.SetZoom(100);
    QImage image(canvas.size(), QImage::Format_RGB32);
    canvas.render(&image);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(400, 500), QColor(Qt::white));
}

TEST_F(CanvasTest, LongJobsHaveNoPageCap)
{
    for (int n = 1; n <= 1003; ++n)
        pages.write(StoredPageName(n), "x");
    {
        TDrawIt canvas;
        EXPECT_EQ(canvas.PageCount(), 1003);
        EXPECT_EQ(canvas.GoToPage(1002), 1002);
    }
    EXPECT_TRUE(filesIn(pages.path()).empty());
}

TEST_F(CanvasTest, ClicksStepThroughThePresetsAndReportEveryClick)
{
    TDrawIt canvas;
    canvas.show();
    std::vector<std::pair<int, int>> sent;
    QObject::connect(&canvas, &TDrawIt::ZoomChanged,
                     [&](int percent, int zero) { sent.emplace_back(percent, zero); });
    QTest::mouseClick(&canvas, Qt::LeftButton);
    QTest::mouseClick(&canvas, Qt::LeftButton);
    QTest::mouseClick(&canvas, Qt::RightButton, Qt::ShiftModifier, QPoint(3, 3));
    QTest::mouseClick(&canvas, Qt::MiddleButton);
    EXPECT_EQ(sent, (std::vector<std::pair<int, int>>{{75, 0}, {50, 0}, {75, 0}}));
    EXPECT_EQ(canvas.size(), QSize(850, 1102)); // the window resizes, not the canvas

    sent.clear();
    canvas.SetZoom(10);
    QTest::mouseClick(&canvas, Qt::LeftButton);
    canvas.SetZoom(300);
    QTest::mouseClick(&canvas, Qt::RightButton);
    canvas.SetZoom(120);
    QTest::mouseClick(&canvas, Qt::LeftButton);
    EXPECT_EQ(sent, (std::vector<std::pair<int, int>>{{10, 0}, {300, 0}, {120, 0}}));
}

// The page as it looks played straight onto an image at the canvas scale.
QImage DirectPlay(const std::string& file, QSize size, double scale, QPoint shift = {})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(shift);
    painter.scale(scale, scale);
    PainterDevice device(painter);
    EmfReader::fromFile(file).play(device);
    return image;
}

// Share of pixels that differ clearly between the two images inside box.
double Difference(const QImage& a, const QImage& b, QRect box)
{
    int differing = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            if (std::abs(p.red() - q.red()) + std::abs(p.green() - q.green())
                    + std::abs(p.blue() - q.blue()) > 96)
                ++differing;
        }
    return static_cast<double>(differing) / (box.width() * box.height());
}

TEST_F(CanvasTest, ShowsTheStoredPageAsPlayedDirectly)
{
    TempDir pdfs;
    TestPrinter printer(pdfs.path());
    WriteStoredPages(pages.path(), 2);
    TDrawIt canvas;
    canvas.SetZoom(100);
    canvas.GoToPage(2);
    QImage shown(canvas.size(), QImage::Format_RGB32);
    canvas.render(&shown);

    // Frame: one pixel left and top, three right and bottom, white inside.
    EXPECT_EQ(shown.pixelColor(0, 600), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(1, 600), QColor(Qt::white));
    for (int x = 847; x <= 849; ++x)
        EXPECT_EQ(shown.pixelColor(x, 600), QColor(Qt::black)) << x;
    EXPECT_EQ(shown.pixelColor(846, 600), QColor(Qt::white));
    for (int y = 1119; y <= 1121; ++y)
        EXPECT_EQ(shown.pixelColor(600, y), QColor(Qt::black)) << y;

    // Isotropic: the drawable width 845 limits, a strip stays free below.
    const double scale = 845.0 / 2400;
    const QRect inside(2, 2, 840, 1090);
    const std::string file = pages.file(StoredPageName(2));
    const double same = Difference(shown, DirectPlay(file, shown.size(), scale), inside);
    std::printf("same page differs in %.6f of the pixels\n", same);
    EXPECT_LT(same, 0.0001);
    // The comparison can fail: a blank page, a shifted page, another page.
    QImage blank(shown.size(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_GT(Difference(shown, blank, inside), 0.02);
    EXPECT_GT(Difference(shown, DirectPlay(file, shown.size(), scale, {2, 1}), inside), 0.01);
    const std::string first = pages.file(StoredPageName(1));
    EXPECT_GT(Difference(shown, DirectPlay(first, shown.size(), scale), inside), 0.0002);
}

// What a page draws in the paper's margin below the printable height (the
// footer's stamp and page number) prints, so the canvas shows it too; the
// zoom still sizes the printable width as before.
TEST_F(CanvasTest, ThePaperBelowThePrintableAreaShowsWhatPrintsThere)
{
    EmfRecorder page(PageGeometry{2400, 3112, 300, 300});
    const GdiHandle red = page.createBrush(LogBrush{BS_SOLID, rgb(255, 0, 0), 0});
    page.fillRect(Rect{1000, 3112 + 40, 1400, 3112 + 74}, red); // a stamp in a 75-pixel margin
    page.saveTo(pages.file(StoredPageName(1)));
    const auto redAt = [](const QImage& image, int y) {
        const QColor c = image.pixelColor(420, y);
        return c.red() > 200 && c.green() < 60 && c.blue() < 60;
    };

    SetPrinterKey("PageMarginBottom", "75");
    TDrawIt canvas;
    EXPECT_EQ(canvas.SheetHeight(), 3187);
    EXPECT_EQ(SizeAt(canvas, 100), QSize(850, 1149)); // 850 * 3187 / 2400 + 20
    QImage shown(canvas.size(), QImage::Format_RGB32);
    canvas.render(&shown);
    // 3112 + 74 printer pixels at 845 / 2400 end near 1122.
    EXPECT_TRUE(redAt(shown, 1118));
    EXPECT_TRUE(redAt(shown, 1120));
    EXPECT_EQ(shown.pixelColor(420, 1130), QColor(Qt::white));

    // Without the margin the sheet ends at the printable height: its bottom
    // edge covers the stamp.
    SetPrinterKey("PageMarginBottom", "0");
    TDrawIt bare;
    EXPECT_EQ(SizeAt(bare, 100), QSize(850, 1122));
    QImage cut(bare.size(), QImage::Format_RGB32);
    bare.render(&cut);
    EXPECT_FALSE(redAt(cut, 1120));

    SetPrinterKey("PageMarginBottom", "wide");
    EXPECT_THROW(TDrawIt(), ConversionError);
}

TEST_F(CanvasTest, GenericPrintersStretchThePageToHeight800)
{
    TempDir pdfs;
    TestPrinter printer(pdfs.path(), 4800, 6600, 600, "Generic Text Only");
    WriteStoredPages(pages.path(), 1);
    TDrawIt canvas;
    canvas.SetZoom(50);
    QImage shown(425, 800, QImage::Format_RGB32);
    canvas.render(&shown); // the first paint sets the height
    EXPECT_EQ(canvas.size(), QSize(425, 800));
    shown.fill(Qt::gray);
    canvas.render(&shown);
    EXPECT_EQ(shown.pixelColor(200, 797), QColor(Qt::black)); // the bottom edge moved down
    // Stretched: the page's lower frame line (at 23/24 of its height) lands
    // near 795 * 23/24, not at the isotropic 420 * 3112/2400 * 23/24.
    const int frameY = static_cast<int>(795.0 * 23 / 24);
    bool darkNearFrame = false;
    for (int y = frameY - 2; y <= frameY + 2; ++y)
        darkNearFrame = darkNearFrame || shown.pixelColor(200, y).lightness() < 128;
    EXPECT_TRUE(darkNearFrame);
}

TEST_F(CanvasTest, ADamagedPageSaysSoOnThePage)
{
    WriteStoredPages(pages.path(), 1);
    const std::string bytes = readFile(pages.file(StoredPageName(1)));
    pages.write(StoredPageName(1), bytes.substr(0, bytes.size() / 2));
    TDrawIt canvas;
    canvas.SetZoom(100);
    QImage shown(canvas.size(), QImage::Format_RGB32);
    canvas.render(&shown);
    int red = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 845; ++x)
            red += shown.pixelColor(x, y).red() > 200 && shown.pixelColor(x, y).green() < 80;
    EXPECT_GT(red, 20);
}

} // namespace
