// The lines a file job takes: read in turn, or read and styled ahead on a
// second thread, they come in the file's order with the same line flags,
// a failed read surfaces where it happened, and closing early never hangs.
#include "engine/LineFeed.h"
#include "engine/SourceStyler.h"
#include "platform/core/errors.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <thread>

namespace velm {
namespace {

using testing::TempDir;

// The text of a styled line without its run markers.
std::string Unmarked(const std::string& marked)
{
    std::string text;
    for (std::size_t i = 0; i < marked.size(); ++i)
        if (marked[i] == '\0')
            ++i;
        else
            text += marked[i];
    return text;
}

std::vector<TFeedLine> AllLines(TLineFeed& feed)
{
    std::vector<TFeedLine> lines;
    for (TFeedLine line; feed.Next(line);)
        lines.push_back(line);
    return lines;
}

// 10,000 bytes without a blank or a break.
std::string LongLine()
{
    std::string line;
    for (int i = 0; i < 1000; ++i)
        line += "0123456789";
    return line;
}

// Numbered declarations, far more than the feed holds ahead, then the long line.
std::string ManyLines(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "int v" + std::to_string(i) + " = " + std::to_string(i) + ";\n";
    return text + LongLine();
}

TEST(LineFeed, StyledLinesReadAheadComeWholeAndInOrder)
{
    TempDir dir;
    const int count = 5000;
    dir.write("many.c", ManyLines(count));
    TSourceStyler styler("c", "");
    ASSERT_TRUE(styler.Active());
    TLineFeed feed;
    feed.Open(dir.file("many.c"), true);
    feed.StartStyling(styler, true);
    const std::vector<TFeedLine> lines = AllLines(feed);
    EXPECT_TRUE(feed.Eof());

    ASSERT_GE(lines.size(), static_cast<std::size_t>(count + 3));
    for (int i = 0; i < count; ++i) {
        const TFeedLine& line = lines[static_cast<std::size_t>(i)];
        ASSERT_EQ(Unmarked(line.Text), "int v" + std::to_string(i) + " = " + std::to_string(i) + ";");
        ASSERT_TRUE(line.StartsLine && line.NewLineAfter && !line.EndOfInput && !line.Last) << "line " << i;
    }
    // The long line comes in whole-source-line pieces, the first one numbered.
    std::string rest;
    for (std::size_t i = count; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].StartsLine, i == count) << "piece " << i;
        rest += Unmarked(lines[i].Text);
    }
    EXPECT_EQ(rest, LongLine());
    EXPECT_GE(lines[count].Text.size(), 4096u);
    EXPECT_TRUE(lines.back().Last && lines.back().EndOfInput);
    TFeedLine after;
    EXPECT_FALSE(feed.Next(after));
}

TEST(LineFeed, PlainLinesAreTheReadersPieces)
{
    TempDir dir;
    dir.write("in.txt", "ab\r\n\ncd");
    TLineFeed feed;
    feed.Open(dir.file("in.txt"), true);
    const std::vector<TFeedLine> lines = AllLines(feed);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].Text, "ab");
    EXPECT_TRUE(lines[0].StartsLine && !lines[0].NewLineAfter);
    EXPECT_TRUE(lines[1].Text.empty() && lines[1].NewLineAfter && !lines[1].StartsLine);
    EXPECT_TRUE(lines[2].StartsLine && lines[2].NewLineAfter);
    EXPECT_EQ(lines[3].Text, "cd");
    // The end of the input is no line of its own.
    EXPECT_TRUE(lines[4].EndOfInput && lines[4].Last && !lines[4].StartsLine);
}

TEST(LineFeed, AFailedReadAheadSurfacesWhereTheLinesStop)
{
    // Opens like a file, but reading its first bytes fails.
    const std::string unreadable = "/proc/self/mem";
    TSourceStyler styler("c", "");
    TLineFeed feed;
    feed.Open(unreadable, true);
    feed.StartStyling(styler, true);
    TFeedLine line;
    try {
        feed.Next(line);
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read file " + unreadable);
    }
    EXPECT_TRUE(feed.Eof());
    EXPECT_FALSE(feed.Next(line));
}

TEST(LineFeed, ClosingWhileReadingAheadStopsAndTheFeedOpensAgain)
{
    TempDir dir;
    dir.write("many.c", ManyLines(20000));
    TSourceStyler styler("c", "");
    TLineFeed feed;
    feed.Open(dir.file("many.c"), true);
    feed.StartStyling(styler, true);
    TFeedLine line;
    ASSERT_TRUE(feed.Next(line));
    // The reading thread fills what it may hold ahead, and waits for room.
    std::size_t ahead = 0;
    while ((ahead = feed.LinesAhead()) < TLineFeed::kMaxLinesAhead)
        std::this_thread::yield();
    EXPECT_EQ(ahead, TLineFeed::kMaxLinesAhead);
    feed.Close();
    EXPECT_TRUE(feed.Eof());
    EXPECT_FALSE(feed.Next(line));

    feed.Open(dir.file("many.c"), true);
    ASSERT_TRUE(feed.Next(line));
    EXPECT_EQ(line.Text, "int v0 = 0;");
}

} // namespace
} // namespace velm
