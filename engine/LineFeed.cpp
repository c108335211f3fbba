#include "engine/LineFeed.h"

#include "engine/SourceStyler.h"

#include <system_error>
#include <utility>

namespace velm {

namespace {

// A word longer than this is cut into lines anyway, so it is no longer
// held back whole across pieces; this bounds the memory a line can take.
constexpr std::size_t kMaxWordTail = 1000;

// Whole source lines reach the highlighter up to this length; a longer one
// (a file without line breaks) goes on in further lines.
constexpr std::size_t kMaxSourceLine = 4096;

} // namespace

TLineFeed::~TLineFeed() { Close(); }

void TLineFeed::Open(const std::string& FileName, bool PlainText)
{
    Close();
    FReader.Open(FileName, PlainText);
    FPlainText = PlainText;
    FEof = false;
}

void TLineFeed::StartStyling(TSourceStyler& Styler, bool ReadAhead)
{
    StopReadingAhead();
    FStyler = &Styler;
    if (FEof || !ReadAhead)
        return;
    FStop = false;
    try {
        FAhead = std::thread(&TLineFeed::ReadAhead, this);
    } catch (const std::system_error&) {
        // No thread to spare: the cell loop reads and styles each line itself.
    }
}

std::size_t TLineFeed::LinesAhead()
{
    std::lock_guard lock(FMutex);
    std::size_t lines = 0;
    for (const TBatch& batch : FReady)
        lines += batch.Lines.size();
    return lines;
}

void TLineFeed::Close()
{
    StopReadingAhead();
    FReader.Close();
    FWordTail.clear();
    FAtLineStart = true;
    FWordGoesOn = false;
    FStyler = nullptr;
    FEof = true;
}

void TLineFeed::StopReadingAhead()
{
    if (FAhead.joinable()) {
        {
            std::lock_guard lock(FMutex);
            FStop = true;
        }
        FChanged.notify_all();
        FAhead.join();
    }
    FReady.clear();
    FSpent.clear();
    FTaken = {};
    FTakenAt = 0;
}

bool TLineFeed::Next(TFeedLine& Line)
{
    if (FEof)
        return false;
    if (!FAhead.joinable()) {
        Line = ReadLine();
    } else {
        if (FTakenAt == FTaken.Lines.size())
            TakeBatch();
        // Copied into the caller's buffer: the batch's memory goes back to
        // the reading thread, which made it.
        const TFeedLine& taken = FTaken.Lines[FTakenAt++];
        Line.Text.assign(taken.Text);
        Line.NewLineAfter = taken.NewLineAfter;
        Line.EndOfInput = taken.EndOfInput;
        Line.StartsLine = taken.StartsLine;
        Line.ContinuesWord = taken.ContinuesWord;
        Line.FormFeed = taken.FormFeed;
        Line.Last = taken.Last;
    }
    FEof = Line.Last;
    return true;
}

// Waits for the next batch; after the last line before a read failure,
// throws that failure (once: the feed has ended then).
void TLineFeed::TakeBatch()
{
    while (FTakenAt == FTaken.Lines.size()) {
        if (FTaken.Error) {
            FEof = true;
            std::rethrow_exception(std::exchange(FTaken.Error, nullptr));
        }
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [this] { return !FReady.empty(); });
        FSpent.push_back(std::move(FTaken));
        FTaken = std::move(FReady.front());
        FReady.pop_front();
        FTakenAt = 0;
        lock.unlock();
        FChanged.notify_all();
    }
}

void TLineFeed::ReadAhead()
{
    bool more = true;
    while (more) {
        TBatch batch;
        batch.Lines.reserve(kBatchLines);
        try {
            while (more && batch.Lines.size() < kBatchLines) {
                batch.Lines.push_back(ReadLine());
                more = !batch.Lines.back().Last;
            }
        } catch (...) {
            batch.Error = std::current_exception();
            more = false;
        }
        std::deque<TBatch> spent;
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [this] { return FStop || FReady.size() < kReadyBatches; });
        if (FStop)
            return;
        FReady.push_back(std::move(batch));
        spent.swap(FSpent);
        lock.unlock();
        FChanged.notify_all();
    }
}

// One line as the cell loop takes it: a piece of the reader, or while
// styling a whole source line up to kMaxSourceLine, in runs.
TFeedLine TLineFeed::ReadLine()
{
    TFeedLine line;
    ReadPiece(line.Text, line);
    std::string piece;
    while (FStyler && !line.NewLineAfter && !line.EndOfInput && line.Text.size() < kMaxSourceLine) {
        ReadPiece(piece, line);
        line.Text += piece;
    }
    if (!FPlainText && !line.Text.empty() && line.Text.front() == '>')
        line.Text.erase(0, 1);
    line.ContinuesWord = FWordGoesOn;
    JoinWordTail(line.Text);
    // The end of the input is no line of its own.
    line.StartsLine = FAtLineStart && !(line.EndOfInput && line.Text.empty());
    // A form feed inside a line goes on with the same source line.
    FAtLineStart = line.NewLineAfter && (!line.FormFeed || FReader.FormFeedEndedLine());
    line.Last = FReader.Eof();
    if (FStyler)
        line.Text = FStyler->MarkedLine(std::move(line.Text));
    return line;
}

void TLineFeed::ReadPiece(std::string& Piece, TFeedLine& Line)
{
    const unsigned char kind = FReader.ReadLine(Piece);
    Line.EndOfInput = kind == 0;
    Line.NewLineAfter = kind == 3 || kind == 4;
    Line.FormFeed = kind == 4;
}

// A piece cut at the length limit inside a word keeps that word's start
// back for the next piece, so the word prints whole: no gap in it and no
// line break between its halves. A word too long to keep goes on in the
// next line, which says so.
void TLineFeed::JoinWordTail(std::string& Line)
{
    Line.insert(0, FWordTail);
    FWordTail.clear();
    FWordGoesOn = false;
    if (!FReader.CutInsideWord())
        return;
    const std::size_t space = Line.rfind(' ');
    if (space == std::string::npos || space == 0) {
        if (Line.size() < kMaxWordTail) {
            FWordTail = std::move(Line);
            Line.clear();
        } else {
            FWordGoesOn = true;
        }
        return;
    }
    FWordTail = Line.substr(space + 1);
    Line.resize(space + 1);
}

} // namespace velm
