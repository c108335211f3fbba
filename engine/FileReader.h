// TFileReader: cuts a file into pieces of at most 250 characters at the
// mode's terminators, reading 512 bytes at a time into a fixed look-ahead.
// Every byte reaches a piece (a NUL too); a file with a UTF-16 byte-order
// mark arrives decoded, as UTF-8.
#pragma once

#include "platform/core/codepage.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace velm {

class TFileReader {
public:
    TFileReader() = default;
    ~TFileReader();
    TFileReader(const TFileReader&) = delete;
    TFileReader& operator=(const TFileReader&) = delete;

    // Throws FileError "Cannot open file <name>" when it cannot be read
    // (a folder cannot be read either). Reads the head of the file.
    void Open(const std::string& fileName, bool plainText);
    // Plain text only, set after Open: KeepTabs leaves tabs in the pieces
    // (the cell loop sets them at tab stops) instead of three spaces;
    // FormFeeds makes a form feed a terminator of its own (code 4).
    void SetTextControls(bool KeepTabs, bool FormFeeds);
    // 0: the input has ended; 1: a piece, no line break after it;
    // 3: an empty piece standing for a line break; 4: an empty piece
    // standing for a form feed, which also ends the printed line (with
    // FormFeeds). A form feed takes the line break right after it along,
    // and form feeds and line breaks that only end the file end the input
    // where the text ends. A piece cut at the
    // length limit never ends inside a UTF-8 sequence or an overstrike.
    // Throws FileError "Cannot read file <name>..." when the file fails
    // midway, or ends before the size it had when it was opened.
    unsigned char ReadLine(std::string& line);
    // The head of the open file looks like binary data (LooksBinary).
    bool Binary() const { return FBinary; }
    void Close();
    bool Eof() const { return FEof; }
    bool IsOpen() const { return FOpen; }
    // The last piece was cut at the length limit between two characters of
    // one word; the next ReadLine then returns the rest of that word, never 0.
    bool CutInsideWord() const { return FCutInsideWord; }
    // The last form feed (code 4) ended its source line: a line break came
    // with it, or the file ended.
    bool FormFeedEndedLine() const { return FFormFeedEndedLine; }
    // Characters held in the look-ahead (bounded whatever the file's size).
    std::size_t Buffered() const { return FBuffer.size() - FStart; }
    std::size_t BufferCapacity() const { return FBuffer.capacity(); }

    static constexpr std::size_t kReadSize = 512;
    static constexpr std::size_t kRefillBelow = 1400;
    static constexpr std::size_t kMaxPiece = 250;

private:
    std::size_t ReadBlock(char* into);
    void Append(std::string_view text);
    void Refill();
    void TakeFront(std::size_t count, std::string& line);
    std::size_t CutAtLimit(std::size_t end);
    unsigned char ReadMarkup(std::string& line);
    unsigned char ReadPiece(std::string& line);
    unsigned char ReadFormFeed();
    void DropTrailingFormFeeds(bool AfterFormFeed);

    std::FILE* FStream = nullptr;
    std::string FFileName;
    std::string FBuffer;      // look-ahead, tabs expanded
    std::size_t FStart = 0;   // first unread character of FBuffer
    bool FPlainText = true;
    bool FOpen = false;
    bool FEof = true;
    bool FAtFileEnd = false;
    bool FCutInsideWord = false;
    bool FBinary = false;
    bool FKeepTabs = false;
    bool FFormFeeds = false;
    bool FFormFeedEndedLine = false;
    std::string FHead;        // the first bytes, read at Open
    std::size_t FHeadAt = 0;  // first of them not yet in the look-ahead
    bool FHeadFailed = false; // reading them failed
    long long FSizeAtOpen = -1; // of a regular file, else -1
    long long FBytesRead = 0;
    std::optional<Utf16Decoder> FUtf16; // a UTF-16 file's decoder
};

// Whether the head of a file is binary data rather than text: the
// signature of an executable, an image or an archive, or more than 30 % of
// bytes that are neither text nor the controls text uses (tab, line and
// page breaks, the backspaces of overstrike). A UTF-16 head with its
// byte-order mark is judged by its characters.
bool LooksBinary(std::string_view head);
// LooksBinary of the first kBinaryProbe bytes of a file; false when it
// cannot be read.
bool FileLooksBinary(const std::string& FileName);
inline constexpr std::size_t kBinaryProbe = 4096;
// Whether a dropped or named file prints as HTML: its name ends in ".HTM"
// or ".HTML", in any case.
bool IsHtmlFile(const std::string& FileName);

// Text helpers shared by the reader, the cell loop and the HTML runs.
void ExpandTabs(std::string& s);          // a tab becomes three spaces
void StripLeadingSpaces(std::string& s);  // all of them; blanks-only becomes empty
void StripTrailingBlanks(std::string& s); // a blanks-only string stays as it is
void StripLeadingBlanks(std::string& s);  // a blanks-only string stays as it is

} // namespace velm
