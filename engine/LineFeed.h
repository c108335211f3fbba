// TLineFeed: the lines of a file job as the cell loop takes them. The
// reader's pieces, with a word cut at the piece limit kept whole for the
// next piece; while highlighting, whole source lines carrying their style
// runs. Highlighting reads ahead on a second thread, so matching the next
// lines overlaps with laying out the ones before them.
#pragma once

#include "engine/FileReader.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velm {

class TSourceStyler;

struct TFeedLine {
    std::string Text;
    bool NewLineAfter = false; // a line break ends it
    bool EndOfInput = false;   // the reader met the end of the input in it
    bool StartsLine = false;   // it begins a source line (numbered when numbering)
    bool ContinuesWord = false; // it goes on inside a word too long to keep whole
    bool FormFeed = false;     // a form feed ends it (with the reader's FormFeeds)
    bool Last = false;         // nothing follows it
};

class TLineFeed {
public:
    TLineFeed() = default;
    ~TLineFeed();
    TLineFeed(const TLineFeed&) = delete;
    TLineFeed& operator=(const TLineFeed&) = delete;

    // Throws FileError as TFileReader::Open does.
    void Open(const std::string& FileName, bool PlainText);
    // As TFileReader::SetTextControls, before the first line.
    void SetTextControls(bool KeepTabs, bool FormFeeds) { FReader.SetTextControls(KeepTabs, FormFeeds); }
    // From here on whole source lines, marked in Styler's runs, read ahead
    // when ReadAhead. Styler must outlive Close(). A pipe is not read ahead:
    // a read that waits for its writer must stay where a signal breaks it off.
    void StartStyling(TSourceStyler& Styler, bool ReadAhead);
    // The next line; false once the input has ended. Throws the reader's
    // FileError at the line where the file failed.
    bool Next(TFeedLine& Line);
    bool Eof() const { return FEof; }
    bool Binary() const { return FReader.Binary(); }
    // Lines read ahead and waiting to be taken: never more than kMaxLinesAhead.
    std::size_t LinesAhead();
    // Stops reading ahead and closes the file.
    void Close();

    // Lines handed over at a time, and batches waiting at most: a few
    // hundred lines keep both threads busy and bound the memory held.
    static constexpr std::size_t kBatchLines = 64;
    static constexpr std::size_t kReadyBatches = 4;
    static constexpr std::size_t kMaxLinesAhead = kBatchLines * kReadyBatches;

private:
    struct TBatch {
        std::vector<TFeedLine> Lines;
        std::exception_ptr Error; // where reading stopped, after Lines
    };

    TFeedLine ReadLine();
    void ReadPiece(std::string& Piece, TFeedLine& Line);
    void JoinWordTail(std::string& Line);
    void ReadAhead();
    void TakeBatch();
    void StopReadingAhead();

    TFileReader FReader;
    bool FPlainText = true;
    std::string FWordTail;   // end of a piece cut inside a word, joined to the next piece
    bool FAtLineStart = true;
    bool FWordGoesOn = false; // the last line ended inside a word
    TSourceStyler* FStyler = nullptr;
    bool FEof = true;        // as far as the cell loop has taken

    // Batches of read lines from the reading thread to the cell loop.
    std::thread FAhead;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<TBatch> FReady;
    std::deque<TBatch> FSpent; // taken, freed by the reading thread
    bool FStop = false;
    TBatch FTaken;
    std::size_t FTakenAt = 0;
};

} // namespace velm
