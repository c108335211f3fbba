#include "engine/FileReader.h"

#include "engine/UserInterface.h"
#include "platform/core/codepage.h"
#include "platform/core/errors.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <sys/stat.h>

namespace velm {

namespace {

constexpr char kCtrlZ = 26;
// The most the look-ahead can hold: just under the refill mark plus one
// read whose every byte was a tab.
constexpr std::size_t kBufferCapacity =
    TFileReader::kRefillBelow - 1 + 3 * TFileReader::kReadSize;

// A character that continues a word across a piece boundary.
bool InWord(char c) { return c != ' ' && c != kCtrlZ; }

bool IsFolder(std::FILE* stream)
{
    struct stat info {};
    return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

TFileReader::~TFileReader() { Close(); }

void TFileReader::Open(const std::string& fileName, bool plainText)
{
    Close();
    std::FILE* stream = std::fopen(fileName.c_str(), "rb");
    if (stream && IsFolder(stream)) {
        std::fclose(stream);
        stream = nullptr;
    }
    if (!stream)
        throw FileError("Cannot open file " + fileName);
    FStream = stream;
    FFileName = fileName;
    ProcessMessages();
    FPlainText = plainText;
    FOpen = true;
    FEof = false;
    FAtFileEnd = false;
    FCutInsideWord = false;
    FBuffer.clear();
    FBuffer.reserve(kBufferCapacity);
    FStart = 0;
}

void TFileReader::Close()
{
    if (FStream)
        std::fclose(FStream);
    FStream = nullptr;
    FOpen = false;
    FEof = true;
    FBuffer.clear();
    FStart = 0;
}

void TFileReader::Refill()
{
    char raw[kReadSize];
    while (!FAtFileEnd && Buffered() < kRefillBelow) {
        // Keep the look-ahead at the front so the buffer never grows.
        FBuffer.erase(0, FStart);
        FStart = 0;
        const std::size_t count = std::fread(raw, 1, kReadSize, FStream);
        if (count < kReadSize) {
            if (std::ferror(FStream))
                throw FileError("Cannot read file " + FFileName);
            FAtFileEnd = true;
        }
        // A NUL ends the text of its read.
        const auto* nul = static_cast<const char*>(std::memchr(raw, 0, count));
        const std::size_t text = nul ? static_cast<std::size_t>(nul - raw) : count;
        for (std::size_t i = 0; i < text; ++i) {
            if (raw[i] == '\t')
                FBuffer.append(3, ' ');
            else
                FBuffer.push_back(raw[i]);
        }
    }
}

void TFileReader::TakeFront(std::size_t count, std::string& line)
{
    line.assign(FBuffer, FStart, count);
    FStart += count;
}

// Length of a piece that would run to `end`, limited to kMaxPiece without
// splitting a UTF-8 character; records whether the cut falls inside a word.
std::size_t TFileReader::CutAtLimit(std::size_t end)
{
    if (end <= kMaxPiece)
        return end;
    const std::string_view ahead(FBuffer.data() + FStart, end);
    std::size_t cut = utf8SafeCut(ahead, kMaxPiece);
    if (cut == 0)
        cut = kMaxPiece;
    FCutInsideWord = InWord(ahead[cut - 1]) && InWord(ahead[cut]);
    return cut;
}

// A tag or an entity at the head of the look-ahead (HTML mode).
unsigned char TFileReader::ReadMarkup(std::string& line)
{
    const std::string_view ahead(FBuffer.data() + FStart, Buffered());
    const char closing = ahead[0] == '<' ? '>' : ';';
    const std::size_t close = ahead.find(closing, 1);
    if (close == std::string_view::npos) {
        TakeFront(1, line);
        return 1;
    }
    std::size_t count = close + 1;
    if (count > kMaxPiece)
        count = std::max<std::size_t>(utf8SafeCut(ahead, kMaxPiece), 1);
    TakeFront(count, line);
    // A tag written across lines arrives as one piece.
    std::erase_if(line, [](char c) { return c == '\r' || c == '\n'; });
    return 1;
}

unsigned char TFileReader::ReadLine(std::string& line)
{
    line.clear();
    FCutInsideWord = false;
    if (FEof)
        return 0;
    Refill();
    if (Buffered() == 0) {
        FEof = true;
        return 0;
    }
    const std::string_view ahead(FBuffer.data() + FStart, Buffered());
    if (ahead[0] == kCtrlZ) {
        FEof = true;
        FBuffer.clear();
        FStart = 0;
        return 0;
    }
    // Plain text ends lines at a lone line feed too: that is how Linux files end them.
    const std::size_t p = ahead.find_first_of(FPlainText ? std::string_view("\r\n") : std::string_view("<&\r\n"));
    if (p == std::string_view::npos) {
        TakeFront(CutAtLimit(ahead.size()), line);
        return 1;
    }
    if (p > 0) {
        TakeFront(CutAtLimit(p), line);
        return 1;
    }
    if (ahead[0] == '\r') {
        const bool crlf = ahead.size() > 1 && ahead[1] == '\n';
        FStart += crlf ? 2 : 1;
        return crlf ? 3 : 1;
    }
    if (ahead[0] == '\n') {
        FStart += 1;
        return 3;
    }
    return ReadMarkup(line);
}

void ExpandTabs(std::string& s)
{
    if (s.find('\t') == std::string::npos)
        return;
    std::string expanded;
    expanded.reserve(s.size() + 8);
    for (char c : s) {
        if (c == '\t')
            expanded.append(3, ' ');
        else
            expanded.push_back(c);
    }
    s = std::move(expanded);
}

void StripLeadingSpaces(std::string& s)
{
    s.erase(0, std::min(s.find_first_not_of(' '), s.size()));
}

void StripTrailingBlanks(std::string& s)
{
    const std::size_t last = s.find_last_not_of(' ');
    if (last != std::string::npos)
        s.resize(last + 1);
}

void StripLeadingBlanks(std::string& s)
{
    const std::size_t first = s.find_first_not_of(' ');
    if (first != std::string::npos)
        s.erase(0, first);
}

} // namespace velm
