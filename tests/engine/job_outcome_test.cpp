// Running and reporting a job: what the caller hears, in order, and the
// status the outcome gives.
#include "engine/JobOutcome.h"
#include "platform/core/errors.h"

#include <gtest/gtest.h>

namespace velm {
namespace {

TEST(RunAndReport, AnErrorIsReportedAsTheOutcomeAndMessagesAreNoError)
{
    TJobOutcome told;
    told.Messages = {"Error: File x cannot be opened"};
    TJobOutcome printed;
    printed.Deliveries = {{"Velm PDF", "/tmp/a.pdf", "", 2, 2}, {"Q", "", "Q-7", 1, 1}};
    const struct {
        const char* name;
        std::function<TJobOutcome()> run;
        TJobStatus status;
        std::vector<std::string> heard;
    } cases[] = {
        {"error", [] () -> TJobOutcome { throw PrinterError("Cannot print on Q: refused"); }, TJobStatus::Failed,
         {"error Cannot print on Q: refused"}},
        {"message", [&] { return told; }, TJobStatus::Told, {}},
        {"printed", [&] { return printed; }, TJobStatus::Done, {"delivered /tmp/a.pdf", "delivered Q-7"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> heard;
        const TJobReport report{[&](const std::string& error) { heard.push_back("error " + error); },
                                [&](const TDelivery& d) { heard.push_back("delivered " + d.OutputPath + d.JobId); }};
        const TJobOutcome outcome = RunAndReport(c.run, report);
        EXPECT_EQ(outcome.Status(), c.status);
        EXPECT_EQ(heard, c.heard);
    }
}

} // namespace
} // namespace velm
