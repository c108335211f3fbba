#include "engine/StoredJob.h"

#include "platform/core/convert.h"
#include "platform/system/settings.h"

#include <algorithm>

namespace velm {

TStoredJob TStoredJob::FromSettings() { return TStoredJob(SettingsFile().readSection("Printer")); }

std::string TStoredJob::Read(const std::string& Key, const std::string& Fallback) const
{
    const auto found = std::find_if(FEntries.begin(), FEntries.end(),
                                    [&](const auto& entry) { return SettingsFile::sameName(entry.first, Key); });
    return found == FEntries.end() ? Fallback : found->second;
}

PaperOrientation TStoredJob::Orientation() const
{
    return Read("Orientation", "Portrait") == "Portrait" ? PaperOrientation::Portrait : PaperOrientation::Landscape;
}

int TStoredJob::PrinterIndex() const { return strToInt(Read("PrinterIndex", "-1")); }

int TStoredJob::PageWidth() const { return std::max(1, strToIntDef(Read("PageWidth", "2400"), 2400)); }

int TStoredJob::SheetHeight() const
{
    const int height = std::max(1, strToIntDef(Read("PageHeight", "3112"), 3112));
    return height + std::clamp(strToIntDef(Read("PageMarginBottom", "0"), 0), 0, height);
}

} // namespace velm
