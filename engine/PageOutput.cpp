// Plays the stored pages of a job onto the selected printer as one print
// document: all of them, the odd or the even ones for manual duplex, or a
// selection; one or several to a sheet.
#include "engine/PageOutput.h"

#include "engine/Gdi.h"
#include "engine/StoredJob.h"
#include "engine/UserInterface.h"
#include "platform/metafile/emf_reader.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace velm {

namespace {

// Which = 1 keeps the odd pages, 2 the even ones; the test on the fractional
// part of i * 0.5 sees i = n - 1 even for odd page numbers n.
bool PageWanted(int Which, int i)
{
    const bool evenIndex = std::fmod(i * 0.5, 1.0) == 0.0;
    if (Which == 1)
        return evenIndex;
    if (Which == 2)
        return !evenIndex;
    return true;
}

// A damaged page still prints what is sound in it, but the user must learn
// that the sheet is incomplete: the message for it, else empty.
std::string PlayPage(const EmfReader& reader, const std::string& name, int N, PrintDocument& document,
                     const TLateTexts& late)
{
    TLateTextDevice device(document.device(), late, N);
    const EmfPlayResult result = reader.play(device);
    if (reader.isValid() && result.ok)
        return {};
    const std::string& problem = reader.isValid() ? result.problem : reader.problem();
    return format("Stored page %s is damaged (%s); printed as far as it was sound", name.c_str(), problem.c_str());
}

// Holds the status dialog while the document is open, so that "&Abort"
// can cancel it at once, and lets go of it before the document is gone.
class DocumentWatch {
public:
    explicit DocumentWatch(TPrintStatus* status) : status_(status) {}
    ~DocumentWatch()
    {
        if (status_)
            status_->SetPrintDocument(nullptr);
    }
    DocumentWatch(const DocumentWatch&) = delete;
    DocumentWatch& operator=(const DocumentWatch&) = delete;
    void watch(PrintDocument* document)
    {
        if (status_)
            status_->SetPrintDocument(document);
    }
private:
    TPrintStatus* status_;
};

// The printer's orientation for the sheets, and back to the job's after
// them: a turned n-up sheet is this printing's alone.
class SheetOrientation {
public:
    SheetOrientation(Printer& printer, PaperOrientation pages, bool turned) : printer_(printer), pages_(pages)
    {
        const PaperOrientation other =
            pages == PaperOrientation::Portrait ? PaperOrientation::Landscape : PaperOrientation::Portrait;
        printer_.setOrientation(turned ? other : pages);
    }
    ~SheetOrientation() { printer_.setOrientation(pages_); }
    SheetOrientation(const SheetOrientation&) = delete;
    SheetOrientation& operator=(const SheetOrientation&) = delete;

private:
    Printer& printer_;
    PaperOrientation pages_;
};

int PerSheet(const TStoredJob& job) { return IsPagesPerSheet(job.PagesPerSheet) ? job.PagesPerSheet : 1; }

// The one print document of a printing: begun with its first page (or at
// once for a whole pass), the chosen pages played onto it one or several
// to a sheet, then delivered or cancelled. What it did goes into Outcome,
// messages too; showing them is its caller's.
class PassDocument {
public:
    PassDocument(const TStoredJob& job, const TPageChoice& choice, TPrintStatus* status)
        : job_(job), choice_(choice), printer_(Printers::instance().selected()), perSheet_(PerSheet(job)),
          watch_(status)
    {
    }
    ~PassDocument()
    {
        // Left unfinished by a fault: nothing of it is delivered.
        if (document_ && document_->isOpen())
            document_->abort();
    }
    PassDocument(const PassDocument&) = delete;
    PassDocument& operator=(const PassDocument&) = delete;

    // "&Abort" closes the document at once; a later activation of the
    // dialog may clear the flag, but a closed document stays closed.
    bool Cancelled() const { return choice_.Cancel.IsSet() || (document_ && !document_->isOpen()); }

    // On the printer in the sheets' orientation.
    void Begin()
    {
        document_ = printer_.beginDocument(job_.DocumentName());
        watch_.watch(document_.get());
        if (perSheet_ > 1) {
            const PrinterCaps sheet = printer_.caps();
            places_ = PageSlots(perSheet_, job_.PageWidth(), job_.SheetHeight(), sheet.horzRes, sheet.vertRes);
        }
    }

    void Play(const EmfReader& reader, const std::string& name, int N, TJobOutcome& outcome)
    {
        if (!document_)
            Begin();
        const int slot = played_ % perSheet_;
        if (played_ > 0 && slot == 0)
            document_->newPage();
        if (perSheet_ > 1)
            document_->placePages(places_[static_cast<std::size_t>(slot)]);
        if (std::string problem = PlayPage(reader, name, N, *document_, job_.LateTexts); !problem.empty())
            outcome.Messages.push_back(std::move(problem));
        ++played_;
        ++outcome.PagesPlayed;
    }

    // The even pass feeds one more, blank sheet when the odd pass printed
    // the last page, so both passes take the same stack of leaves. Then the
    // document goes out, unless the printing was stopped (or Stop says so).
    void Close(int pageCount, bool fault, bool stop, TJobOutcome& outcome)
    {
        while (choice_.WholePass && !fault && !stop && !Cancelled() &&
               document_->sheetCount() < SheetsForPass(pageCount, choice_.Which, perSheet_))
            document_->newPage();
        outcome.Cancelled = stop || Cancelled();
        watch_.watch(nullptr);
        if (!document_)
            return;
        if (outcome.Cancelled) {
            if (document_->isOpen())
                document_->abort();
            return;
        }
        document_->end();
        outcome.Deliveries.push_back({printer_.name(), document_->outputPath(), document_->jobId(), played_,
                                      document_->sheetCount()});
    }

private:
    const TStoredJob& job_;
    const TPageChoice& choice_;
    Printer& printer_;
    const int perSheet_;
    std::unique_ptr<PrintDocument> document_;
    DocumentWatch watch_; // let go of before the document
    std::vector<PagePlacement> places_;
    int played_ = 0;
};

void ShowNewMessages(const TJobOutcome& outcome, std::size_t from)
{
    for (std::size_t i = from; i < outcome.Messages.size(); ++i)
        ShowMessage(outcome.Messages[i]);
}

} // namespace

int SheetsForPass(int PageCount, int Which, int PerSheet)
{
    const int pages = Which == 1 || Which == 2 ? (PageCount + 1) / 2 : PageCount;
    const int per = std::max(PerSheet, 1);
    return std::max((pages + per - 1) / per, 1);
}

bool IsPagesPerSheet(int N) { return N == 1 || N == 2 || N == 4 || N == 8; }

bool TurnsSheet(int N) { return N == 2 || N == 8; }

std::vector<PagePlacement> PageSlots(int PerSheet, double PageWidth, double PageHeight, double SheetWidth,
                                     double SheetHeight)
{
    const int n = std::max(PerSheet, 1);
    const double gap = std::max(SheetWidth, SheetHeight) / 90;
    int bestCols = 1;
    double best = -1;
    for (int cols = 1; cols <= n; ++cols) {
        if (n % cols)
            continue;
        const int rows = n / cols;
        const double scale = std::min((SheetWidth - (cols - 1) * gap) / cols / PageWidth,
                                      (SheetHeight - (rows - 1) * gap) / rows / PageHeight);
        if (scale > best) {
            best = scale;
            bestCols = cols;
        }
    }
    const int cols = bestCols, rows = n / cols;
    const double slotWidth = (SheetWidth - (cols - 1) * gap) / cols;
    const double slotHeight = (SheetHeight - (rows - 1) * gap) / rows;
    const double scale = std::max(best, 0.0);
    std::vector<PagePlacement> places;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < cols; ++col)
            places.push_back({scale, col * (slotWidth + gap) + (slotWidth - scale * PageWidth) / 2,
                             row * (slotHeight + gap) + (slotHeight - scale * PageHeight) / 2, PageWidth,
                             PageHeight});
    return places;
}

void PrintStoredJob(const TStoredJob& Job, const TPageChoice& Choice, TJobOutcome& Outcome)
{
    std::unique_ptr<StatusDialogScope> dialog;
    if (Choice.ShowStatus) {
        dialog = std::make_unique<StatusDialogScope>(Choice.Cancel);
        (*dialog)->Show();
        ProcessMessages();
        if (!Choice.StatusLine.empty())
            (*dialog)->SetStatus(Choice.StatusLine);
    }

    const std::string folder = Job.Read("Directory", currentDirectory());
    Printer& printer = Printers::instance().selected();
    // The orientation the pages were recorded in, turned for side-by-side n-up.
    const SheetOrientation orientation(printer, Job.Orientation(), TurnsSheet(PerSheet(Job)));
    // No page cap: every stored page up to the first gap is printed.
    const int pageCount = StoredPageCount(folder);
    Outcome.PagesFormatted = pageCount;
    Outcome.Cancelled = false;
    std::exception_ptr selectionFault;
    PassDocument document(Job, Choice, dialog ? &**dialog : nullptr);
    if (Choice.WholePass)
        document.Begin();
    try {
        const int last = std::max(Choice.TestedPages, pageCount + 1);
        for (int n = 1; n <= last && !document.Cancelled(); ++n) {
            if (!PageWanted(Choice.Which, n - 1) || (Choice.Selected && !Choice.Selected(n)))
                continue;
            // The first chosen page that is not stored ends the printing.
            if (n > pageCount)
                break;
            if (dialog)
                (*dialog)->SetPage(format("%d", n));
            const std::string file = PageFileName(n, folder);
            const std::size_t shown = Outcome.Messages.size();
            document.Play(EmfReader::fromFile(file), file, n, Outcome);
            ShowNewMessages(Outcome, shown);
            ProcessMessages();
        }
    } catch (...) {
        // The pages played before a fault of the selection still go out.
        selectionFault = std::current_exception();
    }
    document.Close(pageCount, selectionFault != nullptr, false, Outcome);
    if (selectionFault)
        std::rethrow_exception(selectionFault);
}

namespace {

// Pages recorded and not yet played: enough to keep both threads busy,
// few enough that memory does not grow with the job.
constexpr std::size_t kWaitingPages = 4;

struct RecordedPage {
    int number = 0;
    std::vector<std::uint8_t> bytes;
};

} // namespace

struct TPageStream::State {
    State(const TStoredJob& job, const TPageChoice& choice)
        : Job(job), Choice(choice), Document(std::make_unique<PassDocument>(Job, Choice, nullptr))
    {
    }

    // The document begins on the run's thread, which waits meanwhile: the
    // printer turns for it and reads its paper.
    void Begin()
    {
        const SheetOrientation orientation(Printers::instance().selected(), Job.Orientation(),
                                           TurnsSheet(PerSheet(Job)));
        Document->Begin();
    }

    void PlayOne(RecordedPage page)
    {
        if (PageWanted(Choice.Which, page.number - 1) && !Document->Cancelled())
            Document->Play(EmfReader(std::move(page.bytes)), format("%d", page.number), page.number, Played);
    }

    // The player's thread: every page drawn, the document delivered and
    // let go of here, where its fonts were made.
    void Play()
    {
        try {
            for (;;) {
                RecordedPage page;
                {
                    std::unique_lock lock(Mutex);
                    Changed.wait(lock, [this] { return !Waiting.empty() || Ending; });
                    if (Waiting.empty() || Stop)
                        break;
                    page = std::move(Waiting.front());
                    Waiting.pop_front();
                }
                Changed.notify_all();
                PlayOne(std::move(page));
            }
            std::unique_lock lock(Mutex);
            const bool stop = Stop;
            const int last = LastPage;
            lock.unlock();
            Document->Close(last, false, stop, Played);
        } catch (...) {
            const std::lock_guard lock(Mutex);
            Fault = std::current_exception();
        }
        Document.reset();
        {
            const std::lock_guard lock(Mutex);
            Ended = true;
        }
        Changed.notify_all();
    }

    void StopPlayer()
    {
        {
            const std::lock_guard lock(Mutex);
            Ending = true;
        }
        Changed.notify_all();
        Player.join();
    }

    const TStoredJob Job;
    const TPageChoice Choice;
    std::unique_ptr<PassDocument> Document;
    std::optional<RecordedPage> First; // held until a second page comes
    TJobOutcome Played;                // the player's; read once it has ended

    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<RecordedPage> Waiting;
    int LastPage = 0;
    bool Ending = false, Stop = false, Ended = false;
    std::exception_ptr Fault;
    std::thread Player;
};

TPageStream::TPageStream(const TStoredJob& Job, const TPageChoice& Choice)
    : d(std::make_unique<State>(Job, Choice))
{
}

TPageStream::~TPageStream()
{
    if (d->Player.joinable()) {
        {
            const std::lock_guard lock(d->Mutex);
            d->Stop = true;
        }
        d->StopPlayer();
    }
}

void TPageStream::Put(int N, std::vector<std::uint8_t> Page)
{
    if (!d->Player.joinable()) {
        d->LastPage = N;
        if (!d->First) {
            d->First = RecordedPage{N, std::move(Page)};
            return;
        }
        d->Begin();
        d->Waiting.push_back(std::move(*d->First));
        d->First.reset();
        d->Waiting.push_back({N, std::move(Page)});
        d->Player = std::thread(&State::Play, d.get());
        return;
    }
    {
        std::unique_lock lock(d->Mutex);
        d->Changed.wait(lock, [this] { return d->Waiting.size() < kWaitingPages || d->Ended; });
        if (d->Fault)
            std::rethrow_exception(d->Fault);
        d->Waiting.push_back({N, std::move(Page)});
        d->LastPage = N;
    }
    d->Changed.notify_all();
}

void TPageStream::Finish(TJobOutcome& Outcome, bool Stop)
{
    if (d->Player.joinable()) {
        {
            const std::lock_guard lock(d->Mutex);
            d->Stop = Stop;
        }
        d->StopPlayer();
    } else if (!Stop) {
        // No second page came: the document is this thread's.
        d->Begin();
        if (d->First)
            d->PlayOne(std::move(*std::exchange(d->First, std::nullopt)));
        d->Document->Close(d->LastPage, false, false, d->Played);
        d->Document.reset();
    } else {
        d->Played.Cancelled = true;
    }
    const std::size_t shown = Outcome.Messages.size();
    Outcome.Messages.insert(Outcome.Messages.end(), d->Played.Messages.begin(), d->Played.Messages.end());
    ShowNewMessages(Outcome, shown);
    Outcome.PagesPlayed += d->Played.PagesPlayed;
    Outcome.Deliveries.insert(Outcome.Deliveries.end(), d->Played.Deliveries.begin(), d->Played.Deliveries.end());
    Outcome.Cancelled = d->Played.Cancelled;
    if (d->Fault)
        std::rethrow_exception(d->Fault);
}

TJobOutcome TGdi::PrintStoredPages(int Which, bool ShowStatus, const std::function<bool(int)>& Selected)
{
    TPageChoice choice;
    choice.Which = Which;
    choice.Selected = Selected;
    choice.WholePass = !Selected;
    choice.ShowStatus = ShowStatus;
    choice.StatusLine = "Printing...";
    TJobOutcome outcome;
    PrintStoredJob(StoredJob(), choice, outcome);
    return outcome;
}

} // namespace velm
