// Overstrike as nroff writes man pages: the runs it is read into, and the
// faces and places they print in, across cells too.
#include "engine/Overstrike.h"
#include "engine/PrnFile.h"
#include "stored_pages.h"

#include <gtest/gtest.h>

namespace velm {
namespace {

using testing::DecodedText;
using testing::JobHarness;

struct Piece {
    std::string text;
    bool bold, underline;
    bool operator==(const Piece&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Piece& r)
{
    return out << "{'" << r.text << "'" << (r.bold ? " bold" : "") << (r.underline ? " underlined" : "") << "}";
}

std::vector<Piece> Runs(std::string line)
{
    std::vector<Piece> runs;
    while (!line.empty()) {
        const TStruckRun run = TakeStruckRun(line);
        runs.push_back({run.Text, run.Bold, run.Underline});
        EXPECT_EQ(Unstrike(Restrike(run)), run.Text);
    }
    return runs;
}

TEST(Overstrike, BoldUnderlinedAndLoneBackspaces)
{
    const std::pair<std::string, std::vector<Piece>> cases[] = {
        {"N\bNA\bAM\bME\bE", {{"NAME", true, false}}},
        {"_\bF_\bI_\bL_\bE]...", {{"FILE", false, true}, {"]...", false, false}}},
        {"_\bX\bX plain", {{"X", true, true}, {" plain", false, false}}},
        {"X\b_ \xe2\x80\x90\b\xe2\x80\x90", {{"X", false, true}, {" ", false, false}, {"\xe2\x80\x90", true, false}}},
        // A backspace that strikes nothing removes nothing and prints nothing.
        {"\bab\bc\b", {{"abc", false, false}}},
        {"\b", {{"", false, false}}},
    };
    for (const auto& [line, runs] : cases)
        EXPECT_EQ(Runs(line), runs) << line;
}

TEST(Overstrike, RunsPrintBoldAndUnderlinedSideBySideAndCarryTheirFace)
{
    JobHarness h;
    std::string page = "N\bNA\bAM\bME\bE\r\n   ls - list\r\n_\bF_\bI_\bL_\bE plain\r\n";
    for (int i = 0; i < 800; ++i)
        for (char c : "bold" + std::to_string(i) + " ")
            page += c == ' ' ? std::string(" ") : std::string{c, '\b', c};
    const auto& pages = h.Run(page);
    ASSERT_GE(pages.size(), 2u);
    const auto first = pages[0].textsOfHeight(88);
    ASSERT_GE(first.size(), 5u);
    EXPECT_EQ(first[0].text, "NAME");
    EXPECT_EQ(first[0].font.weight, 700);
    EXPECT_EQ(first[1].text, "   ls - list");
    EXPECT_EQ(first[1].font.weight, 400);
    EXPECT_EQ(first[2].text, "FILE");
    EXPECT_TRUE(first[2].font.underline);
    EXPECT_EQ(first[3].text, " plain");
    EXPECT_FALSE(first[3].font.underline);
    EXPECT_EQ(first[3].x, first[2].x + first[2].width) << "the runs of a line join without a gap";
    EXPECT_EQ(first[3].y, first[2].y);
    // The bold paragraph goes on, bold, in the next cell (its spaces are not struck).
    std::string bold;
    for (const auto& p : pages)
        for (const DecodedText& t : p.textsOfHeight(88))
            if (t.text != " " && (t.text.starts_with("bold") || !bold.empty())) {
                EXPECT_EQ(t.font.weight, 700) << t.text;
                bold += t.text + " ";
            }
    EXPECT_NE(bold.find("bold0 bold1 "), std::string::npos);
    EXPECT_NE(bold.find("bold799"), std::string::npos);
}

} // namespace
} // namespace velm
