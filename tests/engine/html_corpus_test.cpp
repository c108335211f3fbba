// Real HTML pages from Debian's documentation printed to PDF by the velm
// command: the text pdftotext reads back is the pages' text in order, as a
// small reference reading of the same rules predicts it (tags dropped, the
// text right after <HTML> skipped, script and style text kept, the table's
// entities decoded, unknown ones printed by name).
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace velm {
namespace {

using testing::TempDir;

const char* const kFooter = "CorpusFooterMark";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The text without white space, the Unicode spaces that pdftotext reads
// as word breaks included (no-break, thin, hair and the other fixed spaces).
std::string Squeezed(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0; };
        if (IsSpace(text[i]))
            continue;
        if (b(i) == 0xC2 && b(i + 1) == 0xA0) {
            ++i;
            continue;
        }
        if (b(i) == 0xE2 && b(i + 1) == 0x80 && ((b(i + 2) >= 0x80 && b(i + 2) <= 0x8B) || b(i + 2) == 0xAF)) {
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string WithoutCrLf(std::string s)
{
    std::erase_if(s, [](char c) { return c == '\r' || c == '\n'; });
    return s;
}

std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// What an entity prints, as UTF-8 (the pages use no code 128 to 159).
std::string EntityText(const std::string& name)
{
    if (!name.empty() && name[0] == '#') {
        const int code = std::atoi(name.substr(1, 3).c_str()) % 256;
        return code == 0 ? "␀" : Latin1ToUtf8(std::string(1, static_cast<char>(code)));
    }
    static const std::pair<const char*, const char*> known[] = {
        {"reg", "®"}, {"lt", "<"}, {"gt", ">"}, {"amp", "&"}, {"quot", "\""}, {"copy", "©"},
        {"Agrave", "À"}, {"Aacute", "Á"}, {"Acirc", "Â"}, {"Atilde", "Ã"}, {"Auml", "Ä"},
        {"Aring", "Å"}, {"LT", "<"},
    };
    for (const auto& [entity, text] : known)
        if (name == entity)
            return text;
    return name;
}

// The printed text of a page with its white space removed. Line ends end
// pieces (a ">" that begins a piece is dropped); tags and entities are
// pieces of their own, whose line ends do not count.
std::string ReferenceText(const std::string& html)
{
    std::string printed;
    bool skipNext = false;
    auto print = [&](const std::string& run) {
        const std::string squeezed = Squeezed(run);
        if (squeezed.empty())
            return;
        if (skipNext)
            skipNext = false;
        else
            printed += squeezed;
    };
    bool pieceStart = true;
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (pieceStart && c == '>') {
            ++i;
            pieceStart = false;
            continue;
        }
        pieceStart = true;
        if (c == '\r' || c == '\n') {
            ++i;
        } else if (c == '<' || c == '&') {
            const std::size_t close = html.find(c == '<' ? '>' : ';', i);
            if (close == std::string::npos) {
                ++i;
                continue;
            }
            std::string inside = WithoutCrLf(html.substr(i + 1, close - i - 1));
            i = close + 1;
            if (c == '&') {
                print(EntityText(inside));
                continue;
            }
            if (const std::size_t slash = inside.find('/'); slash != std::string::npos)
                inside.erase(slash, 1);
            for (char& ch : inside)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            // Only text before the next tag is skipped.
            skipNext = inside == "HTML";
            if (!inside.empty() && inside[0] == '#')
                print(inside.substr(1));
        } else {
            const std::size_t end = std::min(html.find_first_of("<&\r\n", i), html.size());
            print(html.substr(i, end - i));
            i = end;
            pieceStart = false;
        }
    }
    return printed;
}

// The reference does not model pieces the reader cuts at its length limit
// or its look-ahead, so the pages must have no tag or entity that long.
bool MarkupIsShort(const std::string& html)
{
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] != '<' && html[i] != '&')
            continue;
        const std::size_t close = html.find(html[i] == '<' ? '>' : ';', i);
        if (close == std::string::npos || WithoutCrLf(html.substr(i, close - i + 1)).size() > 200)
            return false;
    }
    return true;
}

std::string PrintedText(const std::string& pdf)
{
    std::string text;
    EXPECT_EQ(testing::run("pdftotext -raw '" + pdf + "' - 2>/dev/null", &text), 0);
    std::string squeezed = Squeezed(text);
    for (std::size_t at; (at = squeezed.find(kFooter)) != std::string::npos;)
        squeezed.erase(at, std::string(kFooter).size());
    return squeezed;
}

class HtmlCorpus : public ::testing::TestWithParam<const char*> {};

TEST_P(HtmlCorpus, PrintsThePageTextInOrder)
{
    const std::string page = GetParam();
    ASSERT_TRUE(fs::exists(page)) << page << " is installed by the test set-up";
    const std::string html = testing::readFile(page);
    ASSERT_TRUE(MarkupIsShort(html));

    TempDir out;
    const std::string pdf = out.file("page.pdf");
    std::string said;
    const int status = testing::run(std::string("'") + VELM_BINARY + "' --html=simple --no-header --no-date"
                                        + " --no-page-number --footer=" + kFooter + " -o '" + pdf + "' '"
                                        + page + "' 2>&1",
                                    &said);
    ASSERT_EQ(status, 0) << said;

    const std::string expected = ReferenceText(html);
    const std::string printed = PrintedText(pdf);
    ASSERT_GT(expected.size(), 1000u);
    if (printed != expected) {
        std::size_t at = 0;
        while (at < printed.size() && at < expected.size() && printed[at] == expected[at])
            ++at;
        const std::size_t from = at < 60 ? 0 : at - 60;
        FAIL() << "differs at character " << at << "\nprinted:  " << printed.substr(from, 120)
               << "\nexpected: " << expected.substr(from, 120);
    }
}

INSTANTIATE_TEST_SUITE_P(DebianDocs, HtmlCorpus,
                         ::testing::Values("/usr/share/doc/base-passwd/users-and-groups.html",
                                           "/usr/share/doc/fontconfig/fontconfig-user.html",
                                           "/usr/share/doc/ninja-build/manual.html"));

} // namespace
} // namespace velm
