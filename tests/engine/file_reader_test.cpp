// The line reader on real files: pieces, result codes, terminators of both
// modes, limits, and bad input.
#include "engine/FileReader.h"
#include "platform/core/errors.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace velm {
namespace {

using testing::TempDir;

struct Piece {
    std::string text;
    int code;
    bool operator==(const Piece&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Piece& p) { return out << "{'" << p.text << "', " << p.code << "}"; }

class FileReaderTest : public ::testing::Test {
protected:
    // Every piece of a file holding `bytes`, up to and including the 0.
    std::vector<Piece> Pieces(const std::string& bytes, bool plainText = true)
    {
        dir_.write("in.txt", bytes);
        TFileReader reader;
        reader.Open(dir_.file("in.txt"), plainText);
        std::vector<Piece> pieces;
        for (;;) {
            std::string line;
            const int code = reader.ReadLine(line);
            pieces.push_back({line, code});
            if (code == 0)
                break;
        }
        EXPECT_TRUE(reader.Eof());
        return pieces;
    }

    TempDir dir_;
};

TEST_F(FileReaderTest, LineBreaksOfPlainText)
{
    EXPECT_EQ(Pieces(""), (std::vector<Piece>{{"", 0}}));
    EXPECT_EQ(Pieces("a\r\n\r\nb"), (std::vector<Piece>{{"a", 1}, {"", 3}, {"", 3}, {"b", 1}, {"", 0}}));
    // A lone carriage return breaks no line.
    EXPECT_EQ(Pieces("a\rb\r\n"), (std::vector<Piece>{{"a", 1}, {"", 1}, {"b", 1}, {"", 3}, {"", 0}}));
    // Files written on Linux end their lines with a lone line feed: it ends the line.
    EXPECT_EQ(Pieces("a\nb\n\nc"), (std::vector<Piece>{{"a", 1}, {"", 3}, {"b", 1}, {"", 3}, {"", 3}, {"c", 1}, {"", 0}}));
}

TEST_F(FileReaderTest, LongLinesArriveInPiecesOf250)
{
    const auto pieces = Pieces(std::string(600, 'x') + "\r\n");
    ASSERT_EQ(pieces.size(), 5u);
    EXPECT_EQ(pieces[0], (Piece{std::string(250, 'x'), 1}));
    EXPECT_EQ(pieces[1], (Piece{std::string(250, 'x'), 1}));
    EXPECT_EQ(pieces[2], (Piece{std::string(100, 'x'), 1}));
    EXPECT_EQ(pieces[3], (Piece{"", 3}));

    // A line of exactly 250 characters is not cut.
    EXPECT_EQ(Pieces(std::string(250, 'y') + "\r\n")[0], (Piece{std::string(250, 'y'), 1}));
}

TEST_F(FileReaderTest, TabsAreExpandedBeforeTheLimit)
{
    EXPECT_EQ(Pieces("a\tb")[0].text, "a   b");
    const auto pieces = Pieces(std::string(249, 'x') + "\tyz");
    EXPECT_EQ(pieces[0].text, std::string(249, 'x') + " ");
    EXPECT_EQ(pieces[1].text, "  yz");
}

TEST_F(FileReaderTest, CtrlZEndsTheInputOnlyAsTheFilesLastByte)
{
    EXPECT_EQ(Pieces("\x1a"), (std::vector<Piece>{{"", 0}}));
    EXPECT_EQ(Pieces("abc\r\n\x1a"), (std::vector<Piece>{{"abc", 1}, {"", 3}, {"", 0}}));
    // Text after it is text.
    EXPECT_EQ(Pieces("abc\r\n\x1a" "def\r\n"),
              (std::vector<Piece>{{"abc", 1}, {"", 3}, {"\x1a" "def", 1}, {"", 3}, {"", 0}}));
    EXPECT_EQ(Pieces("ab\x1a" "cd")[0].text, "ab\x1a" "cd");
}

TEST_F(FileReaderTest, FormFeedIsAnOrdinaryCharacter)
{
    EXPECT_EQ(Pieces("a\fb\r\n")[0], (Piece{"a\fb", 1}));
}

// Every byte reaches a piece, a NUL too; UTF-16 with its byte-order mark
// arrives as UTF-8, whatever its order and wherever a read ends.
TEST_F(FileReaderTest, EveryByteArrivesAndUtf16IsDecoded)
{
    std::string bytes(600, 'x');
    bytes[10] = '\0';
    bytes[511] = '\0';
    std::string joined;
    for (const Piece& p : Pieces(bytes + "\n" + std::string(5000, '\0')))
        joined += p.text;
    EXPECT_EQ(joined, bytes + std::string(5000, '\0'));

    const std::u16string text = u"a\tb\r\nA\u00e9\u20ac\U0001F600 " + std::u16string(600, u'z') + u"\u20ac\n";
    const std::string expected = "a   b" "A\u00e9\u20ac\U0001F600 " + std::string(600, 'z') + "\u20ac";
    for (const bool big : {false, true}) {
        std::string utf16 = big ? "\xfe\xff" : "\xff\xfe";
        for (const char16_t unit : text) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            utf16 += big ? std::string{high, low} : std::string{low, high};
        }
        joined.clear();
        int breaks = 0;
        for (const Piece& p : Pieces(utf16)) {
            joined += p.text;
            breaks += p.code == 3 ? 1 : 0;
        }
        EXPECT_EQ(joined, expected) << (big ? "big-endian" : "little-endian");
        EXPECT_EQ(breaks, 2);
    }
    // A lone surrogate and an odd last byte show as U+FFFD.
    EXPECT_EQ(Pieces(std::string("\xff\xfe" "\x00\xd8" "a\x00" "b", 7))[0].text, "\uFFFDa\uFFFD");
}

TEST_F(FileReaderTest, AFileCutShortWhileBeingReadFails)
{
    dir_.write("shrinking.txt", std::string(100'000, 'y') + "\n");
    TFileReader reader;
    reader.Open(dir_.file("shrinking.txt"), true);
    ASSERT_EQ(::truncate(dir_.file("shrinking.txt").c_str(), 6000), 0);
    std::string line;
    try {
        while (reader.ReadLine(line) != 0) {
        }
        ADD_FAILURE() << "the cut went unnoticed";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read file " + dir_.file("shrinking.txt") +
                                             ": it was cut short while being read (6000 of 100001 bytes)");
    }
}

TEST(BinaryData, SignaturesAndStrayControlsButNotTextOrOverstrike)
{
    const std::string manPage = "N\bNA\bAM\bME\bE\n       ls - list directory contents\n"
                                "_\bF_\bI_\bL_\bE\n";
    std::string utf16 = "\xff\xfe";
    for (char c : std::string("plain text in UTF-16\r\n"))
        utf16 += std::string{c, '\0'};
    const std::pair<std::string, bool> cases[] = {
        {"\x7f" "ELF\2\1\1", true},
        {"\x89PNG\r\n\x1a\n", true},
        {"PK\x03\x04 a zip", true},
        {std::string(100, '\0'), true},
        {std::string(60, 'a') + std::string(40, '\x01'), true},
        {std::string(80, 'a') + std::string(20, '\x1b'), false},
        {std::string("before\0after\nline two\n", 22), false},
        {manPage + manPage + manPage, false},
        {"tabs\tand\fpage\r\nfeeds\n", false},
        {utf16, false},
        {"", false},
    };
    for (const auto& [head, binary] : cases)
        EXPECT_EQ(LooksBinary(std::string_view(head)), binary) << head;
}

TEST_F(FileReaderTest, HtmlModeCutsAtMarkup)
{
    EXPECT_EQ(Pieces("x<b>y", false), (std::vector<Piece>{{"x", 1}, {"<b>", 1}, {"y", 1}, {"", 0}}));
    EXPECT_EQ(Pieces("<font\r\nsize=2>", false)[0].text, "<fontsize=2>");
    EXPECT_EQ(Pieces("&amp;", false)[0].text, "&amp;");
    EXPECT_EQ(Pieces("a & b", false), (std::vector<Piece>{{"a ", 1}, {"&", 1}, {" b", 1}, {"", 0}}));
    // A line feed alone breaks a line in HTML mode.
    EXPECT_EQ(Pieces("a\nb", false), (std::vector<Piece>{{"a", 1}, {"", 3}, {"b", 1}, {"", 0}}));
}

TEST_F(FileReaderTest, PiecesNeverSplitAUtf8Character)
{
    std::string text = "a";
    for (int i = 0; i < 300; ++i)
        text += "\xc3\xa9"; // é
    std::string joined;
    for (const Piece& p : Pieces(text)) {
        EXPECT_LE(p.text.size(), 250u);
        // A piece ends after a whole character: never on a lead byte.
        if (!p.text.empty()) {
            EXPECT_NE(static_cast<unsigned char>(p.text.back()), 0xC3u);
        }
        joined += p.text;
    }
    EXPECT_EQ(joined, text);
}

TEST_F(FileReaderTest, ReportsACutInsideAWord)
{
    dir_.write("words.txt", std::string(249, 'a') + "bc def " + std::string(244, 'g') + " h");
    TFileReader reader;
    reader.Open(dir_.file("words.txt"), true);
    std::string line;
    reader.ReadLine(line);
    EXPECT_TRUE(reader.CutInsideWord());
    reader.ReadLine(line);
    EXPECT_EQ(line.substr(0, 6), "c def ");
    // This cut falls just before a space: the word is whole.
    EXPECT_FALSE(reader.CutInsideWord());
    reader.ReadLine(line);
    EXPECT_FALSE(reader.CutInsideWord());
}

TEST_F(FileReaderTest, MemoryStaysFixedOnA20MegabyteLine)
{
    dir_.write("long.txt", std::string(20'000'000, 'w'));
    TFileReader reader;
    reader.Open(dir_.file("long.txt"), true);
    std::size_t total = 0;
    std::size_t largestBuffer = 0;
    std::string line;
    while (reader.ReadLine(line) != 0) {
        ASSERT_LE(line.size(), 250u);
        total += line.size();
        largestBuffer = std::max(largestBuffer, reader.BufferCapacity());
    }
    EXPECT_EQ(total, 20'000'000u);
    EXPECT_LT(largestBuffer, 4096u);
}

TEST_F(FileReaderTest, RandomBinaryEndsCleanly)
{
    std::mt19937 random(7);
    std::string bytes(300'000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    for (bool plain : {true, false}) {
        const auto pieces = Pieces(bytes, plain);
        EXPECT_EQ(pieces.back().code, 0);
        for (const Piece& p : pieces)
            EXPECT_LE(p.text.size(), 250u);
    }
}

TEST_F(FileReaderTest, FilesThatCannotBeReadAreRefused)
{
    TFileReader reader;
    EXPECT_THROW(reader.Open(dir_.file("missing.txt"), true), FileError);
    try {
        reader.Open(dir_.path(), true);
        ADD_FAILURE() << "a folder was opened as a file";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir_.path());
    }
    EXPECT_TRUE(reader.Eof());
    EXPECT_FALSE(reader.IsOpen());
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: a file without read permission is still readable";
    dir_.write("secret.txt", "x");
    chmod(dir_.file("secret.txt").c_str(), 0);
    EXPECT_THROW(reader.Open(dir_.file("secret.txt"), true), FileError);
}

TEST(TextHelpers, SpacesAndTabs)
{
    std::string s = "ab  ";
    StripTrailingBlanks(s);
    EXPECT_EQ(s, "ab");
    s = "   ";
    StripTrailingBlanks(s);
    EXPECT_EQ(s, "   ");
    StripLeadingBlanks(s);
    EXPECT_EQ(s, "   ");
    StripLeadingSpaces(s);
    EXPECT_EQ(s, "");
    s = "  a b ";
    StripLeadingBlanks(s);
    EXPECT_EQ(s, "a b ");
    s = "\ta\t";
    ExpandTabs(s);
    EXPECT_EQ(s, "   a   ");
}

} // namespace
} // namespace velm
