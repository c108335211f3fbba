#include "engine/FileReader.h"

#include "engine/UserInterface.h"
#include "platform/core/errors.h"

#include <algorithm>
#include <cctype>
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

// Signatures of files that are never text: executables, images, archives
// and compressed data.
constexpr std::string_view kBinarySignatures[] = {
    "\x7f" "ELF", "\x89PNG\r\n\x1a\n", "PK\x03\x04", "PK\x05\x06", "\x1f\x8b", "BZh", "\xfd" "7zXZ",
    "\x28\xb5\x2f\xfd", "\xff\xd8\xff", "GIF87a", "GIF89a", "%PDF-",
};

// A character that means nothing in text.
bool IsStrayControl(char32_t c) { return c != '\b' && c != '\t' && c != '\n' && c != '\f' && c != '\r' && (c < 0x20 || c == 0x7f); }

} // namespace

bool LooksBinary(std::string_view head)
{
    head = head.substr(0, kBinaryProbe);
    for (std::string_view signature : kBinarySignatures)
        if (head.starts_with(signature))
            return true;
    std::size_t characters = 0, strays = 0;
    bool bigEndian = false;
    if (const std::size_t mark = Utf16Decoder::byteOrderMark(head, bigEndian)) {
        for (std::size_t i = mark; i + 1 < head.size(); i += 2, ++characters) {
            const auto high = static_cast<unsigned char>(head[i + (bigEndian ? 0 : 1)]);
            const auto low = static_cast<unsigned char>(head[i + (bigEndian ? 1 : 0)]);
            strays += high == 0 && IsStrayControl(low) ? 1 : 0;
        }
    } else {
        characters = head.size();
        strays = static_cast<std::size_t>(std::count_if(head.begin(), head.end(), [](char c) {
            return IsStrayControl(static_cast<unsigned char>(c));
        }));
    }
    return strays * 10 > characters * 3;
}

bool IsHtmlFile(const std::string& FileName)
{
    const std::size_t slash = FileName.rfind('/');
    const std::size_t dot = FileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string extension = FileName.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension == "HTM" || extension == "HTML";
}

bool FileLooksBinary(const std::string& FileName)
{
    std::FILE* stream = std::fopen(FileName.c_str(), "rb");
    if (!stream)
        return false;
    std::string head(kBinaryProbe, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), stream));
    std::fclose(stream);
    return LooksBinary(std::string_view(head));
}

TFileReader::~TFileReader() { Close(); }

void TFileReader::Open(const std::string& fileName, bool plainText)
{
    Close();
    std::FILE* stream = std::fopen(fileName.c_str(), "rb");
    struct stat info {};
    if (stream && (fstat(fileno(stream), &info) != 0 || S_ISDIR(info.st_mode))) {
        std::fclose(stream);
        stream = nullptr;
    }
    if (!stream)
        throw FileError("Cannot open file " + fileName);
    FStream = stream;
    FFileName = fileName;
    FSizeAtOpen = S_ISREG(info.st_mode) ? static_cast<long long>(info.st_size) : -1;
    FBytesRead = 0;
    // The head decides how the file is read: as text or as UTF-16, and
    // whether it is text at all.
    FHead.assign(kBinaryProbe, '\0');
    FHead.resize(std::fread(FHead.data(), 1, FHead.size(), FStream));
    // A failed read surfaces where the lines stop, as it would later on.
    FHeadFailed = std::ferror(FStream) != 0;
    FBytesRead = static_cast<long long>(FHead.size());
    FBinary = LooksBinary(std::string_view(FHead));
    bool bigEndian = false;
    FHeadAt = Utf16Decoder::byteOrderMark(FHead, bigEndian);
    if (FHeadAt > 0)
        FUtf16.emplace(bigEndian);
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
    FHead.clear();
    FHeadAt = 0;
    FUtf16.reset();
}

// The next raw block of at most kReadSize bytes: the head first, then the
// file. Sets FAtFileEnd at its end, which must be where the file ended
// when it was opened.
std::size_t TFileReader::ReadBlock(char* into)
{
    if (FHeadAt < FHead.size()) {
        const std::size_t count = std::min(kReadSize, FHead.size() - FHeadAt);
        std::memcpy(into, FHead.data() + FHeadAt, count);
        FHeadAt += count;
        return count;
    }
    if (FHeadFailed)
        throw FileError("Cannot read file " + FFileName);
    const std::size_t count = std::fread(into, 1, kReadSize, FStream);
    FBytesRead += static_cast<long long>(count);
    if (count < kReadSize) {
        if (std::ferror(FStream))
            throw FileError("Cannot read file " + FFileName);
        FAtFileEnd = true;
        if (FBytesRead < FSizeAtOpen)
            throw FileError(format("Cannot read file %s: it was cut short while being read (%lld of %lld bytes)",
                                   FFileName.c_str(), FBytesRead, FSizeAtOpen));
    }
    return count;
}

// Text into the look-ahead, each tab as three spaces unless tabs are kept.
void TFileReader::Append(std::string_view text)
{
    if (FKeepTabs && FPlainText) {
        FBuffer.append(text);
        return;
    }
    for (const char c : text) {
        if (c == '\t')
            FBuffer.append(3, ' ');
        else
            FBuffer.push_back(c);
    }
}

void TFileReader::Refill()
{
    char raw[kReadSize];
    std::string decoded;
    while (!FAtFileEnd && Buffered() < kRefillBelow) {
        // Keep the look-ahead at the front so the buffer never grows.
        FBuffer.erase(0, FStart);
        FStart = 0;
        const std::size_t count = ReadBlock(raw);
        if (!FUtf16) {
            Append(std::string_view(raw, count));
            continue;
        }
        decoded.clear();
        FUtf16->decode(std::string_view(raw, count), decoded);
        if (FAtFileEnd)
            FUtf16->finish(decoded);
        Append(decoded);
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
    // An overstruck character ("X\bX") stays in one piece.
    const std::size_t safe = cut;
    while (cut > 0 && (ahead[cut] == '\b' || ahead[cut - 1] == '\b'))
        cut = utf8SafeCut(ahead, cut - 1);
    if (cut == 0)
        cut = safe > 0 ? safe : kMaxPiece;
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

void TFileReader::SetTextControls(bool KeepTabs, bool FormFeeds)
{
    FKeepTabs = KeepTabs;
    FFormFeeds = FormFeeds;
}

// The form feed at the head of the look-ahead, with the line break that
// follows it: "^L" on a line of its own is one break of the page.
unsigned char TFileReader::ReadFormFeed()
{
    FStart += 1;
    Refill();
    const std::string_view ahead(FBuffer.data() + FStart, Buffered());
    const std::size_t lineBreak = ahead.starts_with("\r\n") ? 2 : ahead.starts_with('\r') || ahead.starts_with('\n') ? 1 : 0;
    FStart += lineBreak;
    FFormFeedEndedLine = lineBreak > 0 || (FAtFileEnd && Buffered() == 0);
    DropTrailingFormFeeds(true);
    return 4;
}

// Form feeds and line breaks that are all that is left of the file would
// only add blank pages: the input ends with the text.
void TFileReader::DropTrailingFormFeeds(bool AfterFormFeed)
{
    if (!FFormFeeds || !FAtFileEnd)
        return;
    const std::string_view rest(FBuffer.data() + FStart, Buffered());
    if (rest.find_first_not_of("\f\r\n") != std::string_view::npos)
        return;
    if (!AfterFormFeed && rest.find('\f') == std::string_view::npos)
        return;
    FEof = true;
    FBuffer.clear();
    FStart = 0;
}

unsigned char TFileReader::ReadLine(std::string& line)
{
    const unsigned char kind = ReadPiece(line);
    if (kind == 1 || kind == 3)
        DropTrailingFormFeeds(false);
    return kind;
}

unsigned char TFileReader::ReadPiece(std::string& line)
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
    // The end-of-file mark of old files ends nothing that follows it.
    if (ahead[0] == kCtrlZ && ahead.size() == 1 && FAtFileEnd) {
        FEof = true;
        FBuffer.clear();
        FStart = 0;
        return 0;
    }
    // Plain text ends lines at a lone line feed too: that is how Linux files end them.
    const std::string_view terminators = !FPlainText ? "<&\r\n" : FFormFeeds ? "\r\n\f" : "\r\n";
    const std::size_t p = ahead.find_first_of(terminators);
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
    if (ahead[0] == '\f')
        return ReadFormFeed();
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
