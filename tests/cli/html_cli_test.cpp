// HTML files through the velm command's small interpreter (--html=simple):
// characters of the code page reach the PDF as themselves, and a page the
// engine cannot read fails cleanly.
#include "support/testing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velm {
namespace {

using testing::TempDir;

struct Outcome {
    int status = -1;
    std::string err;
};

// Prints `file` to `pdf` with velm, from the folder `cwd`.
Outcome PrintToPdf(const std::string& file, const std::string& pdf, const std::string& cwd)
{
    TempDir capture;
    Outcome o;
    o.status = testing::run("cd '" + cwd + "' && '" + VELM_BINARY + "' --html=simple -o '" + pdf + "' '" + file + "' 2>'"
                            + capture.file("err") + "' >/dev/null");
    o.err = testing::readFile(capture.file("err"));
    return o;
}

std::string PdfText(const std::string& pdf)
{
    std::string text;
    testing::run("pdftotext -raw '" + pdf + "' - 2>/dev/null", &text);
    return text;
}

TEST(HtmlCommand, CodePageCharactersPrintBesideUtf8Text)
{
    TempDir work;
    // UTF-8 text, entity bytes of the code page, and a run in the code page itself.
    work.write("mixed.htm", "<B>caf\xC3\xA9</B> &reg; &#169; &Agrave;&Aring; na\xC3\xAFve<BR>"
                            "Latin caf\xE9 &#200;t\xE9");
    const Outcome o = PrintToPdf(work.file("mixed.htm"), work.file("mixed.pdf"), work.path());
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string text = PdfText(work.file("mixed.pdf"));
    for (const char* expected : {"café", "®", "©", "À", "Å", "naïve", "Latin", "È", "té"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " missing in:\n" << text;
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << "replacement character in:\n" << text;
}

TEST(HtmlCommand, PagesWithHexadecimalReferencesPrint)
{
    TempDir work;
    // Real-world pages: a compiler's FAQ and a script library's reference.
    for (const auto& [page, expected] :
         {std::pair{"compiler-faq.html", std::vector<std::string>{"quote ' s end", "prints as `", "-Fu < dir >",
                                                                  "12 / 2024 \xC2\xA9"}},
          std::pair{"library-reference.html", std::vector<std::string>{"\" , '", "and ` become",
                                                                       "{name: ' moe ' }"}}}) {
        SCOPED_TRACE(page);
        const std::string pdf = work.file(std::string(page) + ".pdf");
        TempDir capture;
        const int status = testing::run("cd '" + work.path() + "' && '" + VELM_BINARY + "' --html=simple -o '" + pdf
                                        + "' '" + testing::sourcePath(std::string("tests/data/html/") + page)
                                        + "' >/dev/null 2>'" + capture.file("err") + "'");
        ASSERT_EQ(status, 0) << testing::readFile(capture.file("err"));
        const std::string text = PdfText(pdf);
        for (const std::string& piece : expected)
            EXPECT_NE(text.find(piece), std::string::npos) << piece << " missing in:\n" << text;
    }
}

TEST(HtmlCommand, BadNumericReferenceFailsWithTheMessageAndWritesNothing)
{
    TempDir work;
    std::string page;
    for (int i = 1; i <= 80; ++i)
        page += "line " + std::to_string(i) + "<BR>\n";
    work.write("bad.htm", page + "&#1a2; after");
    const Outcome o = PrintToPdf(work.file("bad.htm"), work.file("bad.pdf"), work.path());
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.err.find("'1a2' is not a valid integer value"), std::string::npos) << o.err;
    EXPECT_EQ(testing::filesIn(work.path()), (std::vector<std::string>{"bad.htm"}));
}

} // namespace
} // namespace velm
