// What one run of a job did, as one value its caller reads, and the flag
// that stops a run: the one way a job's result and a request to stop it
// travel between the engine and whoever runs it (the windows, the command
// line, the filter, tests).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velm {

// A request to stop a run, shared by the loops that look at it between
// cells and pages and by whoever may ask: the status dialog's "&Abort",
// Ctrl-C and the termination signals. Copies share one flag.
class TCancelFlag {
public:
    TCancelFlag() : FState(std::make_shared<std::atomic<bool>>(false)) {}
    // The user's "&Abort": the run stops at its next look.
    void Set() const { FState->store(true); }
    // The status dialog activated again: an "&Abort" the run has not seen
    // yet is lost. A stop of the whole program stays.
    void Withdraw() const { FState->store(false); }
    bool IsSet() const { return FState->load() || gStopAll.load(); }

    // Ctrl-C or a termination signal: every run, now and later, stops at
    // its next look. Safe in a signal handler.
    static void StopAll() { gStopAll.store(true); }

private:
    static_assert(std::atomic<bool>::is_always_lock_free, "set from signal handlers");
    static inline std::atomic<bool> gStopAll{false};
    std::shared_ptr<std::atomic<bool>> FState;
};

// One print document the printer took: where it went.
struct TDelivery {
    std::string PrinterName;
    std::string OutputPath;  // the PDF the built-in printer wrote, else empty
    std::string JobId;       // the queue's job ("QUEUE-123"), else empty
    int Pages = 0;           // stored pages played onto it
    int Sheets = 0;          // its sheets, blank ones included
};

enum class TJobStatus {
    Done,       // everything asked for was done
    Told,       // the user was told of a problem (Messages)
    Cancelled,  // "&Abort", Ctrl-C or a termination signal stopped it
    Failed,     // an error ended it (Error)
};

struct TJobOutcome {
    // The message boxes the run showed, in order.
    std::vector<std::string> Messages;
    // The error that ended the run, which its caller shows; none when it ran out.
    std::optional<std::string> Error;
    // Its latest loop was stopped: formatting, or the printing that came last.
    bool Cancelled = false;
    int PagesFormatted = 0;  // stored pages the run recorded (or found, to print)
    int PagesPlayed = 0;     // stored pages played onto documents, cancelled ones too
    std::vector<TDelivery> Deliveries; // in order: a preview's reprints are several

    TJobStatus Status() const;
    // Stored pages on the documents delivered.
    int PagesPrinted() const;
};

// How a caller tells the user what a run did; either may be empty.
struct TJobReport {
    std::function<void(const std::string& error)> Error;
    std::function<void(const TDelivery&)> Delivered;
};

// Runs a job (Run: its Execute, with whatever must live around it) and
// reports the outcome, the one way the windows and the command line run
// and report jobs: an error that ends the run becomes the outcome's Error
// and is reported, then every document delivered, in order.
TJobOutcome RunAndReport(const std::function<TJobOutcome()>& Run, const TJobReport& Report);

} // namespace velm
