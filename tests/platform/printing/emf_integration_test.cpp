// Stored pages in standard readers: emf2svg converts every page we write,
// and LibreOffice shows the whole 600-dpi sheet (a header describing the
// display instead of the page would lose its bottom: DESIGN.md fault 9).
#include "support/emf_test_support.h"

#include "platform/rendering/fonts.h"
#include "support/testing.h"

#include <gtest/gtest.h>

namespace velm {
namespace {

using emftest::Bytes;
using testing::TempDir;

bool installed(const std::string& tool) { return testing::run("command -v " + tool + " >/dev/null 2>&1") == 0; }

void writeFile(const TempDir& dir, const std::string& name, const Bytes& bytes)
{
    dir.write(name, std::string(bytes.begin(), bytes.end()));
}

// The same page claiming the 96-dpi display as reference device, the way a
// recorder that ignores the printer page would write it.
Bytes withDisplayHeader(Bytes bytes)
{
    emf::storeI32(bytes.data() + 24 + 8, 27100);
    emf::storeI32(bytes.data() + 24 + 12, 20300);
    emf::storeI32(bytes.data() + 72, 1024);
    emf::storeI32(bytes.data() + 76, 768);
    emf::storeI32(bytes.data() + 80, 271);
    emf::storeI32(bytes.data() + 84, 203);
    emf::storeI32(bytes.data() + 100, 271000);
    emf::storeI32(bytes.data() + 104, 203000);
    return bytes;
}

TEST(EmfIntegration, Emf2svgConvertsEveryKindOfPage)
{
    if (!installed("emf2svg-conv"))
        VELM_SKIP_MISSING("emf2svg-conv is not installed");
    TempDir dir;
    EmfRecorder blank(emftest::kPrinterPage);
    EmfRecorder titled(emftest::kPrinterPage, std::u16string(u"Velm\0", 5) + std::u16string(60, u't'));
    const std::vector<std::pair<std::string, Bytes>> pages{
        {"page.emf", emftest::samplePage(textAdvances)}, {"blank.emf", blank.finish()}, {"titled.emf", titled.finish()}};
    for (const auto& [name, bytes] : pages) {
        writeFile(dir, name, bytes);
        std::string log;
        EXPECT_EQ(testing::run("emf2svg-conv -i '" + dir.file(name) + "' -o '" + dir.file(name + ".svg") + "' 2>&1",
                               &log),
                  0)
            << name << ": " << log;
    }
    const std::string svg = testing::readFile(dir.file("page.emf.svg"));
    EXPECT_NE(svg.find("FIRST LINE"), std::string::npos);
    EXPECT_NE(svg.find("LAST LINE"), std::string::npos);
    // emf2svg's canvas is rclBounds (right - left by bottom - top): the whole page.
    EXPECT_NE(svg.find("width=\"4799"), std::string::npos) << svg.substr(0, 400);
    EXPECT_NE(svg.find("height=\"6599"), std::string::npos) << svg.substr(0, 400);
}

TEST(EmfIntegration, LibreOfficeShowsTheWholeSheet)
{
    if (!installed("soffice") || !installed("pdftotext"))
        VELM_SKIP_MISSING("LibreOffice (soffice) or pdftotext is not installed");
    TempDir dir;
    writeFile(dir, "PRN001.EMF", emftest::samplePage(textAdvances));
    writeFile(dir, "DISPLAY.EMF", withDisplayHeader(emftest::samplePage(textAdvances)));
    // One conversion for both files, with a private profile.
    const std::string command = "cd '" + dir.path() + "' && HOME='" + dir.path() +
                                "' soffice -env:UserInstallation=file://" + dir.path() +
                                "/profile --headless --convert-to pdf --outdir '" + dir.path() +
                                "' PRN001.EMF DISPLAY.EMF >/dev/null 2>&1";
    ASSERT_EQ(testing::run(command), 0);
    std::string text;
    ASSERT_EQ(testing::run("pdftotext '" + dir.file("PRN001.pdf") + "' -", &text), 0);
    EXPECT_NE(text.find("FIRST LINE"), std::string::npos) << text;
    EXPECT_NE(text.find("LAST LINE"), std::string::npos) << text;
    // The control: with the display as reference device the page is
    // magnified and its bottom-right text falls outside the picture.
    std::string display;
    ASSERT_EQ(testing::run("pdftotext '" + dir.file("DISPLAY.pdf") + "' -", &display), 0);
    EXPECT_EQ(display.find("LAST LINE"), std::string::npos) << display;
}

} // namespace
} // namespace velm
