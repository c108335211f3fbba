#include "engine/JobOutcome.h"

#include <exception>

namespace velm {

TJobStatus TJobOutcome::Status() const
{
    if (Error)
        return TJobStatus::Failed;
    if (Cancelled)
        return TJobStatus::Cancelled;
    return Messages.empty() ? TJobStatus::Done : TJobStatus::Told;
}

int TJobOutcome::PagesPrinted() const
{
    int pages = 0;
    for (const TDelivery& delivery : Deliveries)
        pages += delivery.Pages;
    return pages;
}

TJobOutcome RunAndReport(const std::function<TJobOutcome()>& Run, const TJobReport& Report)
{
    TJobOutcome outcome;
    try {
        outcome = Run();
    } catch (const std::exception& e) {
        outcome.Error = e.what();
    }
    if (outcome.Error && Report.Error)
        Report.Error(*outcome.Error);
    if (Report.Delivered)
        for (const TDelivery& delivery : outcome.Deliveries)
            Report.Delivered(delivery);
    return outcome;
}

} // namespace velm
