#include "platform/pdf/pdf_canvas.h"

#include "platform/core/errors.h"
#include "platform/metafile/emf_reader.h"
#include "platform/rendering/gdi_device.h"
#include "support/emf_test_support.h"
#include "support/testing.h"

#include <QFont>
#include <QFontDatabase>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <map>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace velm {
namespace {

using testing::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A4 at 600 dpi, reference pixel 0 a quarter inch in from the corner.
PdfPageBox a4(bool landscape = false)
{
    PdfPageBox box;
    box.widthPt = landscape ? 841.89 : 595.28;
    box.heightPt = landscape ? 595.28 : 841.89;
    box.originXPt = box.originYPt = 18;
    box.ptPerPixelX = box.ptPerPixelY = 0.12;
    return box;
}

// Glyphs of a face for text, at the given advance (the face's own when 0).
struct Glyphs {
    std::vector<quint32> glyphs;
    std::vector<QPointF> positions;
    std::vector<char32_t> chars;
};

Glyphs layout(const QRawFont& font, const std::u32string& text, double advance = 0)
{
    Glyphs laid;
    double x = 0;
    for (char32_t c : text) {
        const QString s = QString::fromUcs4(&c, 1);
        quint32 glyph = 0;
        int n = 1;
        font.glyphIndexesForChars(s.constData(), static_cast<int>(s.size()), &glyph, &n);
        QPointF natural;
        font.advancesForGlyphIndexes(&glyph, &natural, 1);
        laid.glyphs.push_back(glyph);
        laid.positions.emplace_back(x, 0);
        laid.chars.push_back(c);
        x += advance > 0 ? advance : natural.x();
    }
    return laid;
}

// As pages record text: each glyph advances by its own advance rounded to
// whole pixels.
Glyphs recorded(const QRawFont& font, const std::u32string& text)
{
    Glyphs laid = layout(font, text);
    double x = 0;
    for (std::size_t i = 0; i < laid.glyphs.size(); ++i) {
        laid.positions[i].setX(x);
        QPointF natural;
        font.advancesForGlyphIndexes(&laid.glyphs[i], &natural, 1);
        x += std::round(natural.x());
    }
    return laid;
}

void draw(PdfCanvas& canvas, const QRawFont& font, const Glyphs& glyphs, QPointF origin, QColor color = Qt::black)
{
    canvas.drawGlyphs(origin, font, glyphs.glyphs, glyphs.positions, glyphs.chars, color);
}

QRawFont face(const char* family, double pixelSize, bool bold = false)
{
    QFont f(family);
    f.setPixelSize(static_cast<int>(pixelSize));
    f.setBold(bold);
    QRawFont raw = QRawFont::fromFont(f);
    raw.setPixelSize(pixelSize);
    return raw;
}

// A PDF file written by one canvas; the test draws between open and close.
class Document {
public:
    explicit Document(const std::string& name = "out.pdf") : path_(dir_.file(name))
    {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        canvas_ = std::make_unique<PdfCanvas>(fd_, "Test café", "Velm");
    }
    ~Document() { ::close(fd_); }
    PdfCanvas& canvas() { return *canvas_; }
    const std::string& path() const { return path_; }
    std::string close()
    {
        canvas_->finish();
        return path_;
    }
    std::string file(const std::string& name) const { return dir_.file(name); }

private:
    TempDir dir_;
    std::string path_;
    int fd_ = -1;
    std::unique_ptr<PdfCanvas> canvas_;
};

// Runs a poppler or qpdf command; its stderr must stay empty.
std::string tool(const std::string& command, int* status = nullptr)
{
    const std::string errors = "/tmp/velm-pdf-test-stderr-" + std::to_string(::getpid());
    std::string output;
    const int rc = testing::run(command + " 2>" + errors, &output);
    const std::string complaints = testing::readFile(errors);
    ::unlink(errors.c_str());
    if (status)
        *status = rc;
    else
        EXPECT_EQ(rc, 0) << command;
    EXPECT_EQ(complaints, "") << command;
    return output;
}

// The text of a file, its lines without the blank ones between blocks.
std::string text(const std::string& pdf)
{
    const std::string all = tool("pdftotext -enc UTF-8 -nopgbrk '" + pdf + "' -");
    std::string lines;
    for (std::size_t at = 0, end; at < all.size(); at = end + 1) {
        end = std::min(all.find('\n', at), all.size());
        if (end > at)
            lines += all.substr(at, end - at) + "\n";
    }
    return lines;
}

// The uncompressed content streams of a file written at level 0.
std::string contentOf(const std::string& pdf)
{
    const std::string bytes = testing::readFile(pdf);
    std::string content;
    for (std::size_t at = 0; (at = bytes.find("<</Length ", at)) != std::string::npos;) {
        const std::size_t dictEnd = bytes.find(">>stream\n", at);
        const std::size_t end = bytes.find("\nendstream", dictEnd);
        if (bytes.compare(at, dictEnd - at, "") != 0 && bytes.substr(at, dictEnd - at).find("/Filter") == std::string::npos)
            content += bytes.substr(dictEnd + 9, end - dictEnd - 9);
        at = end;
    }
    return content;
}

std::size_t count(const std::string& haystack, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t at = 0; (at = haystack.find(needle, at)) != std::string::npos; at += needle.size())
        ++n;
    return n;
}

// An RGB image of the first page, pixel-exact (no antialiasing).
struct Image {
    int width = 0, height = 0;
    std::string rgb;
    QRgb at(int x, int y) const
    {
        const std::size_t i = 3 * (static_cast<std::size_t>(y) * width + x);
        return qRgb(static_cast<uchar>(rgb[i]), static_cast<uchar>(rgb[i + 1]), static_cast<uchar>(rgb[i + 2]));
    }
};

Image render(const std::string& pdf, int dpi, int width, int height, int page = 1)
{
    const std::string prefix = pdf + "-render";
    const std::string number = std::to_string(page);
    tool("pdftoppm -r " + std::to_string(dpi) + " -f " + number + " -l " + number +
         " -aa no -aaVector no -singlefile -x 0 -y 0 -W " +
         std::to_string(width) + " -H " + std::to_string(height) + " '" + pdf + "' '" + prefix + "'");
    const std::string ppm = testing::readFile(prefix + ".ppm");
    Image image;
    int maxValue = 0, consumed = 0;
    if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxValue, &consumed) == 3)
        image.rgb = ppm.substr(static_cast<std::size_t>(consumed) + 1);
    EXPECT_EQ(image.rgb.size(), 3u * image.width * image.height);
    return image;
}

// A sheet where reference pixel = device pixel at 600 dpi from the corner.
PdfPageBox smallSheet()
{
    PdfPageBox box;
    box.widthPt = box.heightPt = 36; // 300 x 300 pixels
    box.ptPerPixelX = box.ptPerPixelY = 0.12;
    return box;
}

constexpr QRgb kWhite = 0xFFFFFFFF;

TEST(PdfCanvas, TextComesBackExactlyAndFontsAreEmbeddedSubsetsOnePerFaceAndSize)
{
    Document doc;
    PdfCanvas& c = doc.canvas();
    c.startSheet(a4());
    c.beginPage(QRectF(0, 0, 4661, 6716), true);
    const QRawFont mono = face("Liberation Mono", 83.33), bigMono = face("Liberation Mono", 120);
    const QRawFont bold = face("Liberation Mono", 83.33, true), sans = face("Liberation Sans", 83.33);
    draw(c, mono, layout(mono, U"Hello, world (1) \\ 2", 50), {0, 100});
    draw(c, bigMono, layout(bigMono, U"Bigger text"), {0, 300});
    draw(c, bold, layout(bold, U"Bold words"), {0, 500});
    draw(c, sans, layout(sans, U"Café ® © naïve"), {0, 700}, Qt::red);
    const bool cjk = QFontDatabase::families().contains("Droid Sans Fallback");
    const QRawFont fallback = face("Droid Sans Fallback", 83.33);
    if (cjk)
        draw(c, fallback, layout(fallback, U"中文"), {0, 900});
    c.endPage();
    c.finishSheet();
    c.startSheet(a4());
    draw(c, mono, layout(mono, U"Second sheet", 50), {0, 100});
    const std::string pdf = doc.close();

    std::string expected = "Hello, world (1) \\ 2\nBigger text\nBold words\nCafé ® © naïve\n";
    if (cjk)
        expected += "中文\n";
    expected += "Second sheet\n";
    EXPECT_EQ(text(pdf), expected);

    const std::string fonts = tool("pdffonts '" + pdf + "'");
    const std::regex row(R"(^(\S+)\s+CID TrueType\s+Identity-H\s+(yes|no)\s+(yes|no)\s+(yes|no))");
    int rows = 0;
    std::vector<std::string> names;
    const std::regex lines(R"([^\n]+)");
    for (std::sregex_iterator it(fonts.begin(), fonts.end(), lines), end; it != end; ++it) {
        const std::string line = it->str();
        std::smatch m;
        if (!std::regex_search(line, m, row))
            continue;
        ++rows;
        names.push_back(m[1]);
        EXPECT_EQ(m[2], "yes") << line; // embedded
        EXPECT_EQ(m[3], "yes") << line; // subset
        EXPECT_EQ(m[4], "yes") << line; // ToUnicode
        EXPECT_TRUE(std::regex_match(m[1].str(), std::regex("[A-Z]{6}\\+[A-Za-z0-9-]+"))) << line;
    }
    // One font per face and size, each with a name and program of its own:
    // mono at two sizes is two fonts.
    EXPECT_EQ(rows, cjk ? 5 : 4) << fonts;
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    EXPECT_EQ(names.size(), cjk ? 5u : 4u) << fonts;
    const std::string objects = tool("qpdf --qdf --object-streams=disable '" + pdf + "' -");
    const std::regex program("/FontFile2 ");
    const auto programs = std::distance(std::sregex_iterator(objects.begin(), objects.end(), program),
                                        std::sregex_iterator());
    EXPECT_EQ(programs, cjk ? 5 : 4);
    tool("qpdf --check '" + pdf + "'");
}

// A Liberation face with the licence bits of its OS/2 table set to fsType.
QRawFont withFsType(const std::string& name, unsigned fsType, double pixelSize)
{
    QByteArray file = QByteArray::fromStdString(
        testing::readFile("/usr/share/fonts/truetype/liberation2/Liberation" + name + "-Regular.ttf"));
    const auto u16 = [&](qsizetype at) {
        return static_cast<unsigned>(static_cast<uchar>(file[at]) << 8 | static_cast<uchar>(file[at + 1]));
    };
    const auto u32 = [&](qsizetype at) { return u16(at) << 16 | u16(at + 2); };
    for (unsigned i = 0, n = file.size() >= 12 ? u16(4) : 0; i < n; ++i) {
        const qsizetype record = 12 + 16 * static_cast<qsizetype>(i);
        if (file.mid(record, 4) == "OS/2") {
            const qsizetype at = u32(record + 8) + 8;
            file[at] = static_cast<char>(fsType >> 8);
            file[at + 1] = static_cast<char>(fsType);
        }
    }
    return QRawFont(file, pixelSize);
}

// An OpenType CFF face embeds as a font; faces that cannot be embedded (a
// Type 1 file has no tables; a licence may forbid embedding, or allow
// bitmaps only) show as outlines under invisible text that reads back.
TEST(PdfCanvas, OpenTypeCffFacesEmbedAndOthersAreOutlinesUnderInvisibleText)
{
    const char* otf = "/usr/share/fonts/opentype/urw-base35/NimbusMonoPS-Regular.otf";
    const char* type1 = "/usr/share/fonts/type1/urw-base35/NimbusMonoPS-Regular.t1";
    if (::access(otf, R_OK) != 0 || ::access(type1, R_OK) != 0)
        VELM_SKIP_MISSING("no URW fonts installed");
    Document doc;
    PdfCanvas& c = doc.canvas();
    PdfPageBox wide = smallSheet();
    wide.widthPt = 72; // 600 x 300 pixels
    c.startSheet(wide);
    const QRawFont cff(QString(otf), 40);
    const QRawFont outlines[] = {QRawFont(QString(type1), 100), withFsType("Sans", 0x0002, 100),
                                 withFsType("Serif", 0x0200, 100)};
    ASSERT_TRUE(cff.isValid());
    draw(c, cff, layout(cff, U"Compact font"), {10, 60});
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(outlines[i].isValid()) << i;
        draw(c, outlines[i], layout(outlines[i], i == 0 ? U"MM" : i == 1 ? U"HH" : U"EE"), {20 + 180.0 * i, 250});
    }
    const std::string pdf = doc.close();

    EXPECT_EQ(text(pdf), "Compact font\nMM HH EE\n");
    const std::string fonts = tool("pdffonts '" + pdf + "'");
    EXPECT_TRUE(std::regex_search(fonts, std::regex(R"([A-Z]{6}\+NimbusMonoPS-Regular\s+CID Type 0C \(OT\)\s+Identity-H\s+yes\s+yes\s+yes)")))
        << fonts;
    EXPECT_EQ(count(fonts, "CID TrueType      Identity-H       yes yes yes"), 3u) << fonts;
    tool("qpdf --check '" + pdf + "'");
    // Each outline face's letters are ink between its baseline and cap
    // height, drawn once (the text over them is invisible).
    const Image image = render(pdf, 600, 600, 300);
    for (int i = 0; i < 3; ++i) {
        int ink = 0;
        for (int y = 190; y < 250; ++y)
            for (int x = 20 + 180 * i; x < 140 + 180 * i; ++x)
                ink += image.at(x, y) != kWhite;
        EXPECT_GT(ink, 500) << i;
    }
}

TEST(PdfCanvas, GlyphsLandAtTheGivenPositions)
{
    Document doc;
    PdfCanvas& c = doc.canvas();
    c.startSheet(a4());
    c.beginPage(QRectF(0, 0, 4661, 6716), true);
    const QRawFont sans = face("Liberation Sans", 83.33);
    // Words at given x, advances off the face's own by odd amounts, and a
    // word raised within the run.
    Glyphs glyphs = layout(sans, U"alpha beta gamma delta", 0);
    const double shifts[] = {0, 1.7, -1.2, 0.9, 0.4};
    double extra = 0;
    for (std::size_t i = 0; i < glyphs.positions.size(); ++i) {
        extra += shifts[i % 5];
        glyphs.positions[i].rx() += extra;
        if (i >= 17) // "delta"
            glyphs.positions[i].ry() = -40;
    }
    draw(c, sans, glyphs, {1000.5, 2000});
    const Glyphs mono = layout(face("Liberation Mono", 83.33), U"steady mono", 50);
    draw(c, face("Liberation Mono", 83.33), mono, {200, 3000});
    const std::string pdf = doc.close();

    const std::string box = tool("pdftotext -bbox '" + pdf + "' -");
    const std::regex word(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="[0-9.]+" yMax="([0-9.]+)">([^<]*)</word>)re");
    std::map<std::string, std::pair<double, double>> found; // word -> (xMin, yMax)
    for (std::sregex_iterator it(box.begin(), box.end(), word), end; it != end; ++it)
        found[(*it)[4]] = {std::stod((*it)[1]), std::stod((*it)[3])};
    const auto expectWordAt = [&](const std::string& w, std::size_t firstGlyph, const Glyphs& r, QPointF origin) {
        ASSERT_TRUE(found.count(w)) << box;
        EXPECT_NEAR(found[w].first, 18 + (origin.x() + r.positions[firstGlyph].x()) * 0.12, 0.5) << w;
    };
    expectWordAt("alpha", 0, glyphs, {1000.5, 2000});
    expectWordAt("beta", 6, glyphs, {1000.5, 2000});
    expectWordAt("gamma", 11, glyphs, {1000.5, 2000});
    expectWordAt("delta", 17, glyphs, {1000.5, 2000});
    expectWordAt("steady", 0, mono, {200, 3000});
    expectWordAt("mono", 7, mono, {200, 3000});
    // 40 pixels higher is 4.8 points higher.
    EXPECT_NEAR(found["gamma"].second - found["delta"].second, 4.8, 0.3);
}

TEST(PdfCanvas, FillsStrokesHatchesAndClipsLandOnTheirPixels)
{
    Document doc;
    PdfCanvas& c = doc.canvas();
    c.startSheet(smallSheet());
    c.beginPage(QRectF(0, 0, 300, 300), true);
    c.fillRect(QRectF(100, 50, 100, 10), QColor(Qt::red));
    // A colour set under a transform is undone by its Q: blue again after it.
    c.pushTransform(QTransform::fromTranslate(0, 20));
    c.fillRect(QRectF(0, 0, 10, 10), QColor(Qt::blue));
    c.popTransform();
    c.fillRect(QRectF(20, 0, 10, 10), QColor(Qt::red));
    c.fillRect(QRectF(40, 0, 10, 10), QColor(Qt::blue));
    // Hatches: lines of the brush colour every 8 pixels on a transparent ground.
    c.fillRect(QRectF(0, 100, 64, 64), QBrush(Qt::darkGreen, Qt::HorPattern));
    c.fillRect(QRectF(100, 100, 64, 64), QBrush(Qt::darkGreen, Qt::VerPattern));
    c.fillRect(QRectF(200, 100, 64, 64), QBrush(Qt::darkGreen, Qt::DiagCrossPattern));
    // A closed square outline, 4 pixels wide, through pixel centres.
    c.strokePolyline(QPolygonF({{20.5, 200.5}, {80.5, 200.5}, {80.5, 260.5}, {20.5, 260.5}, {20.5, 200.5}}),
                     QPen(QBrush(Qt::magenta), 4, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    // Clips: only [150, 180) of this fill shows; after resetClip all of the next.
    c.intersectClip(QRectF(150, 200, 30, 100));
    c.fillRect(QRectF(100, 200, 200, 10), QColor(Qt::black));
    c.resetClip();
    c.fillRect(QRectF(100, 220, 200, 10), QColor(Qt::black));
    c.endPage();
    // beginPage's clip: nothing beyond the page.
    c.beginPage(QRectF(0, 0, 290, 290), true);
    c.fillRect(QRectF(280, 280, 20, 20), QColor(Qt::black));
    c.endPage();
    const Image image = render(doc.close(), 600, 300, 300);

    EXPECT_EQ(image.at(100, 50), qRgb(255, 0, 0));
    EXPECT_EQ(image.at(199, 59), qRgb(255, 0, 0));
    for (auto [x, y] : {std::pair{99, 50}, {200, 50}, {100, 49}, {100, 60}, {199, 60}})
        EXPECT_EQ(image.at(x, y), kWhite) << x << "," << y;
    EXPECT_EQ(image.at(5, 25), qRgb(0, 0, 255));
    EXPECT_EQ(image.at(5, 5), kWhite);
    EXPECT_EQ(image.at(25, 5), qRgb(255, 0, 0));
    EXPECT_EQ(image.at(45, 5), qRgb(0, 0, 255));

    int hatchRows = 0, hatchColumns = 0;
    for (int y = 100; y < 164; ++y)
        hatchRows += image.at(30, y) != kWhite;
    for (int x = 100; x < 164; ++x)
        hatchColumns += image.at(x, 130) != kWhite;
    EXPECT_EQ(hatchRows, 8);
    EXPECT_EQ(hatchColumns, 8);
    // Diagonals: ink on a white ground, repeating every 8 pixels both ways.
    int crossInk = 0, repeats = 0;
    for (int y = 100; y < 156; ++y)
        for (int x = 200; x < 256; ++x) {
            crossInk += image.at(x, y) != kWhite;
            repeats += image.at(x, y) == image.at(x + 8, y) && image.at(x, y) == image.at(x, y + 8);
        }
    EXPECT_GT(crossInk, 56 * 56 / 8);
    EXPECT_LT(crossInk, 56 * 56 * 3 / 4);
    EXPECT_EQ(repeats, 56 * 56);
    for (auto [x, y] : {std::pair{30, 99}, {30, 164}, {99, 130}, {164, 130}, {199, 130}, {264, 130}})
        EXPECT_EQ(image.at(x, y), kWhite) << x << "," << y;

    for (auto [x, y] : {std::pair{50, 199}, {50, 201}, {20, 230}, {80, 230}, {50, 260}, {19, 199}})
        EXPECT_EQ(image.at(x, y), qRgb(255, 0, 255)) << x << "," << y;
    EXPECT_EQ(image.at(50, 230), kWhite);
    EXPECT_EQ(image.at(50, 196), kWhite);

    EXPECT_EQ(image.at(149, 205), kWhite);
    EXPECT_NE(image.at(150, 205), kWhite);
    EXPECT_NE(image.at(179, 205), kWhite);
    EXPECT_EQ(image.at(181, 205), kWhite); // the renderer's clip takes in the pixel on its far edge
    EXPECT_NE(image.at(110, 225), kWhite);
    EXPECT_NE(image.at(289, 289), kWhite);
    EXPECT_EQ(image.at(291, 291), kWhite);
}

// A title that is not UTF-8 reads as Windows-1252, as the engine reads text.
TEST(PdfCanvas, ATitleThatIsNotUtf8KeepsItsLetters)
{
    TempDir dir;
    const std::string path = dir.file("title.pdf");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    PdfCanvas(fd, "caf\xE9 \x80", "Velm").finish();
    ::close(fd);
    EXPECT_NE(testing::readFile(path).find("/Title<FEFF00630061006600E9002020AC>"), std::string::npos);
}

TEST(PdfCanvas, SheetsKeepTheirSizeAndPlacement)
{
    Document doc;
    PdfCanvas& c = doc.canvas();
    EXPECT_EQ(c.sheetCount(), 0);
    c.fillRect(QRectF(0, 0, 10, 10), QColor(Qt::black)); // outside a sheet: ignored
    c.startSheet(a4());
    c.startSheet(a4(true));
    // Reference pixel (0, 0) sits 18 pt in; x and y scaled apart.
    PdfPageBox odd = smallSheet();
    odd.originXPt = 6;
    odd.originYPt = 12;
    odd.ptPerPixelX = 0.06;
    c.startSheet(odd);
    c.fillRect(QRectF(100, 100, 50, 50), QColor(Qt::black));
    c.finishSheet();
    c.fillRect(QRectF(0, 0, 300, 300), QColor(Qt::black)); // between sheets: ignored
    EXPECT_EQ(c.sheetCount(), 3);
    const std::string pdf = doc.close();
    c.finish(); // a second finish changes nothing
    c.fillRect(QRectF(0, 0, 300, 300), QColor(Qt::black));

    const std::string info = tool("pdfinfo -f 1 -l 3 '" + pdf + "'");
    for (const char* line : {"Pages: +3\n", "Page +1 size: +595.28 x 841.89 pts", "Page +2 size: +841.89 x 595.28 pts",
                             "Page +3 size: +36 x 36 pts", "Title: +Test café\n"})
        EXPECT_TRUE(std::regex_search(info, std::regex(line))) << line << "\n" << info;
    tool("qpdf --check '" + pdf + "'");
    // x: 6 pt + 100 * 0.06 pt = 12 pt = pixel 100 at 600 dpi; y: 12 pt + 12 pt = pixel 200.
    const Image third = render(pdf, 600, 300, 300, 3);
    EXPECT_EQ(third.at(100, 200), qRgb(0, 0, 0));
    EXPECT_EQ(third.at(124, 249), qRgb(0, 0, 0));
    for (auto [x, y] : {std::pair{99, 200}, {100, 199}, {125, 200}, {100, 250}})
        EXPECT_EQ(third.at(x, y), kWhite) << x << "," << y;

    // Readers reject an empty page tree: a document without sheets has one blank sheet.
    Document empty("empty.pdf");
    const std::string blank = tool("pdfinfo '" + empty.close() + "'");
    EXPECT_TRUE(std::regex_search(blank, std::regex("Pages: +1\n"))) << blank;
}

TEST(PdfCanvas, ContentIsCompactAndStatesAreWrittenOnlyWhenTheyChange)
{
    Document doc;
    PdfCanvas& c = doc.canvas();
    c.setCompressionLevel(0);
    c.startSheet(a4());
    c.beginPage(QRectF(0, 0, 4661, 6716), false);
    const QRawFont mono = face("Liberation Mono", 600 * 10 / 72.0);
    std::u32string line;
    for (int i = 0; i < 80; ++i)
        line += static_cast<char32_t>('!' + (i * 7) % 90);
    const Glyphs glyphs = layout(mono, line, 50);
    for (int i = 0; i < 60; ++i)
        draw(c, mono, glyphs, {0, 100.0 + 100 * i});
    c.fillRect(QRectF(0, 0, 10, 10), QColor(Qt::red));
    c.fillRect(QRectF(20, 0, 10, 10), QColor(Qt::red));
    c.fillRect(QRectF(40, 0, 0, 10), QColor(Qt::blue));   // no area: nothing
    c.fillRect(QRectF(40, 0, 10, 10), Qt::NoBrush);        // nothing
    c.drawGlyphs({0, 0}, mono, {}, {}, {}, Qt::black);      // nothing
    c.endPage();
    const std::string content = contentOf(doc.close());

    // 4800 glyphs: two bytes each and a few per line.
    EXPECT_LT(content.size(), 4800u * 2 + 60 * 24) << content.substr(0, 400);
    EXPECT_EQ(count(content, " Tf"), 1u);
    EXPECT_EQ(count(content, "BT"), 1u);
    EXPECT_EQ(count(content, " Tc"), 0u); // 50 pixels, the font's rounded advance: no Tc, no adjustments
    EXPECT_EQ(count(content, "TJ"), 60u);
    EXPECT_EQ(count(content, " rg"), 1u); // black is the initial fill
    EXPECT_EQ(count(content, " re f"), 2u);
}

// The /W entries of the first font in a file written at level 0: glyph id -> width.
std::map<unsigned, double> widthsOf(const std::string& pdf)
{
    const std::string bytes = testing::readFile(pdf);
    std::map<unsigned, double> widths;
    std::size_t at = bytes.find("/W[");
    if (at == std::string::npos)
        return widths;
    std::istringstream in(bytes.substr(at + 3, bytes.find("]]", at) - at - 3));
    unsigned first = 0;
    char bracket = 0;
    while (in >> first >> bracket && bracket == '[') {
        double w = 0;
        while (in >> w)
            widths[first++] = w;
        in.clear();
        in >> bracket; // ']'
    }
    return widths;
}

TEST(PdfCanvas, WidthsAreTheRecordedAdvancesAndRecordedTextLandsWhereGiven)
{
    // Pages record each glyph's advance rounded to whole pixels, at two
    // sizes of one face: each size's font states those advances, so the
    // text needs no adjustments, and each word lands where the page has it.
    Document doc;
    PdfCanvas& c = doc.canvas();
    c.setCompressionLevel(0);
    c.startSheet(a4());
    const QRawFont sans = face("Liberation Sans", 600 * 10 / 72.0), big = face("Liberation Sans", 120);
    const std::u32string words = U"Proportional widths rounded as recorded";
    const Glyphs small = recorded(sans, words), large = recorded(big, words);
    draw(c, sans, small, {100, 200});
    draw(c, big, large, {100.5, 400});
    const std::string pdf = doc.close();
    EXPECT_EQ(text(pdf), "Proportional widths rounded as recorded\nProportional widths rounded as recorded\n");

    const QByteArray head = sans.fontTable("head"), hhea = sans.fontTable("hhea"), hmtx = sans.fontTable("hmtx");
    const auto u16 = [](const QByteArray& t, unsigned at) {
        return static_cast<unsigned>(static_cast<std::uint8_t>(t.at(at)) << 8 | static_cast<std::uint8_t>(t.at(at + 1)));
    };
    const double unitsPerEm = u16(head, 18);
    const unsigned metrics = u16(hhea, 34);
    const std::map<unsigned, double> widths = widthsOf(pdf);
    EXPECT_GT(widths.size(), 10u);
    const double size = std::round(sans.pixelSize() * 1000) / 1000; // as the font states its size
    for (const auto& [glyph, width] : widths)
        EXPECT_NEAR(width, std::nearbyint(u16(hmtx, 4 * std::min(glyph, metrics - 1)) * size / unitsPerEm) * 1000 / size,
                    0.0005)
            << glyph;
    EXPECT_FALSE(std::regex_search(contentOf(pdf), std::regex("\\)-?[0-9]"))); // no TJ adjustment

    const std::string box = tool("pdftotext -bbox '" + pdf + "' -");
    const std::regex word(R"re(<word xMin="([0-9.]+)")re");
    std::vector<double> starts;
    for (std::sregex_iterator it(box.begin(), box.end(), word), end; it != end; ++it)
        starts.push_back(std::stod((*it)[1]));
    ASSERT_EQ(starts.size(), 10u) << box;
    const std::size_t firstGlyphs[] = {0, 13, 20, 28, 31};
    for (std::size_t w = 0; w < 5; ++w) {
        // Within a tenth of a pixel (0.012 pt).
        EXPECT_NEAR(starts[w], 18 + (100 + small.positions[firstGlyphs[w]].x()) * 0.12, 0.012) << w;
        EXPECT_NEAR(starts[w + 5], 18 + (100.5 + large.positions[firstGlyphs[w]].x()) * 0.12, 0.012) << w;
    }
}

TEST(PdfCanvas, DenseSheetsStaySmall)
{
    Document doc;
    PdfCanvas& c = doc.canvas();
    const QRawFont mono = face("Liberation Mono", 600 * 10 / 72.0);
    std::u32string line;
    for (int i = 0; i < 80; ++i)
        line += U"The quick brown fox jumps over the lazy dog 0123456789 "[i % 55];
    const Glyphs glyphs = layout(mono, line, 50);
    for (int sheet = 0; sheet < 20; ++sheet) {
        c.startSheet(a4());
        c.beginPage(QRectF(0, 0, 4661, 6716), false);
        for (int i = 0; i < 60; ++i)
            draw(c, mono, glyphs, {0, 100.0 + 100 * i});
    }
    doc.close();
    EXPECT_LT(c.bytesWritten() / 20, 4096u);
}

TEST(PdfCanvas, AbsurdInputWritesAValidFileWithoutExponentsOrNaN)
{
    Document doc;
    PdfCanvas& c = doc.canvas();
    c.setCompressionLevel(0);
    c.startSheet(a4());
    c.beginPage(QRectF(0, 0, kNaN, 1e300), true);
    const QRawFont mono = face("Liberation Mono", 50);
    c.fillRect(QRectF(kNaN, 0, 10, 10), QColor(Qt::red));
    c.fillRect(QRectF(0, 0, 1e300, 1e300), QColor(Qt::red));
    c.fillRect(QRectF(-1e300, 0, 10, 1e-300), QColor(Qt::red));
    c.strokePolyline(QPolygonF({{0, 0}, {kNaN, 5}, {1e300, -1e300}}), QPen(Qt::black, 1e300));
    c.strokePolyline(QPolygonF({{0, 0}, {10, 10}}), QPen(QBrush(Qt::black), kNaN));
    QPainterPath path;
    path.moveTo(0, 0);
    path.lineTo(1e300, 5);
    path.lineTo(5, 5);
    c.fillPath(path, QColor(Qt::green));
    c.intersectClip(QRectF(kNaN, kNaN, 1, 1));
    c.intersectClip(QRectF(-1e300, -1e300, 2e300, 2e300));
    Glyphs glyphs = layout(mono, U"ok", 30);
    glyphs.positions[0] = {kNaN, 0};
    draw(c, mono, glyphs, {0, 500});
    draw(c, mono, layout(mono, U"far", 30), {1e300, 1e300});
    draw(c, mono, layout(mono, U"nan", 30), {kNaN, 0});
    c.pushTransform(QTransform(kNaN, 0, 0, 1, 0, 0));
    c.fillRect(QRectF(0, 0, 10, 10), QColor(Qt::blue)); // under an unusable matrix: not drawn
    c.popTransform();
    c.pushTransform(QTransform(1e300, 0, 0, 1e-300, 1e300, 0));
    c.popTransform();
    c.popTransform(); // unpaired: ignored
    c.resetClip();
    c.endPage();
    c.endPage();
    const std::string pdf = doc.close();

    tool("qpdf --check '" + pdf + "'");
    const std::string content = contentOf(pdf);
    for (const char* bad : {"nan", "inf", "e+", "e-", "NaN"})
        EXPECT_EQ(content.find(bad), std::string::npos) << bad << " in\n" << content;
    EXPECT_EQ(count(content, "q\n"), count(content, "Q\n"));
    EXPECT_EQ(text(pdf), "k\n");
    tool("pdftoppm -r 10 '" + pdf + "' '" + doc.file("page") + "'");
}

TEST(PdfCanvas, EndlessSizesStayBoundedAndLandRight)
{
    Document doc;
    PdfCanvas& c = doc.canvas();
    c.startSheet(a4());
    for (int i = 0; i < 200; ++i) {
        const QRawFont sans = face("Liberation Sans", 20 + i * 0.25);
        draw(c, sans, layout(sans, U"word"), {100, 100.0 + 30 * i});
    }
    // A size after 200 others still lands where given.
    const QRawFont late = face("Liberation Sans", 83.5);
    draw(c, late, layout(late, U"late word"), {1000.5, 6500});
    const std::string pdf = doc.close();

    const std::string fonts = tool("pdffonts '" + pdf + "'");
    // The heading, a font for each of the first 64 sizes, one for all others.
    EXPECT_EQ(std::count(fonts.begin(), fonts.end(), '\n'), 2 + 64 + 1) << fonts;
    const std::string box = tool("pdftotext -bbox '" + pdf + "' -");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(box, m, std::regex(R"re(xMin="([0-9.]+)"[^>]*>late<)re"))) << box;
    EXPECT_NEAR(std::stod(m[1]), 18 + 1000.5 * 0.12, 0.5);
    const std::regex word(R"re(xMin="([0-9.]+)"[^>]*>word<)re");
    double lastWord = -1; // the late one comes last
    for (std::sregex_iterator it(box.begin(), box.end(), word), end; it != end; ++it)
        lastWord = std::stod((*it)[1]);
    const std::vector<QPointF> lateLayout = layout(late, U"late word").positions;
    EXPECT_NEAR(lastWord, 18 + (1000.5 + lateLayout[5].x()) * 0.12, 0.5);
}

TEST(PdfCanvas, WriteFailuresThrowAndKeepThrowing)
{
    // A file that may not grow past 3000 bytes: a short write, then EFBIG.
    TempDir dir;
    const int limited = ::open(dir.file("limited.pdf").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(limited, 0);
    std::string reason;
    try {
        testing::FileSizeLimit limit(3000);
        PdfCanvas canvas(limited, "t", "Velm");
        const QRawFont mono = face("Liberation Mono", 50);
        for (int sheet = 0; sheet < 3; ++sheet) {
            canvas.startSheet(a4());
            for (int i = 0; i < 40; ++i)
                draw(canvas, mono, layout(mono, U"Line " + std::u32string(40, U'a' + (i % 26)), 30), {0, 60.0 * i});
        }
        canvas.finish();
    } catch (const VelmError& e) { // what the user is shown, like every other error
        reason = e.what();
    }
    ::close(limited);
    EXPECT_EQ(reason, std::strerror(EFBIG));

    // A reader that goes away while pages are written.
    auto previous = std::signal(SIGPIPE, SIG_IGN);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    {
        PdfCanvas canvas(pipeEnds[1], "t", "Velm");
        ::close(pipeEnds[0]);
        canvas.startSheet(a4());
        canvas.fillRect(QRectF(0, 0, 10, 10), QColor(Qt::red));
        EXPECT_THROW(canvas.finish(), PdfWriteError);
        EXPECT_THROW(canvas.finish(), PdfWriteError); // never finished as if sound
        EXPECT_THROW(canvas.startSheet(a4()), PdfWriteError);
    }
    ::close(pipeEnds[1]);
    std::signal(SIGPIPE, previous);
}

// Hatch-filled pages played from a metafile, each sheet with patterns of its
// own, until the file may grow no more: playback keeps its promise never to
// throw, and the failure comes back when a sheet or the document ends.
TEST(PdfCanvas, WriteFailuresNeverEscapePlaybackAndComeBackWhenSheetsEnd)
{
    EmfRecorder recorder(emftest::kPrinterPage);
    for (int hatch : {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS}) {
        const GdiHandle brush = recorder.createBrush({BS_HATCHED, rgb(200, 0, 0), hatch});
        recorder.fillRect({100 * hatch, 100, 100 * hatch + 80, 180}, brush);
    }
    const EmfReader page(recorder.finish());

    TempDir dir;
    const int fd = ::open(dir.file("limited.pdf").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    testing::FileSizeLimit limit(4096);
    PdfCanvas canvas(fd, "t", "Velm");
    GdiDevice device(canvas);
    int failures = 0;
    for (int sheet = 0; sheet < 20000 && failures < 2; ++sheet) {
        PdfPageBox box = a4();
        box.ptPerPixelX += sheet * 1e-6; // a pattern matrix of its own
        try {
            canvas.startSheet(box);
        } catch (const PdfWriteError& e) {
            EXPECT_EQ(std::string(e.what()), std::strerror(EFBIG));
            ++failures;
        }
        try {
            EXPECT_TRUE(page.play(device).ok);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "playback threw: " << e.what();
            break;
        }
    }
    EXPECT_EQ(failures, 2);
    EXPECT_THROW(canvas.finish(), PdfWriteError);
    ::close(fd);
}

} // namespace
} // namespace velm
