// The stored pages of one run as a value: the folder that holds them, the
// page they were laid out for, the printer and orientation they print in,
// and how the preview shows them. The run records it when its document
// begins, as the "Printer" keys of the settings file; its preview and every
// printing of its pages read it from the run, never again from the shared
// settings file, which another job may rewrite at any time.
#pragma once

#include "engine/HeaderFields.h"
#include "platform/printing/printer.h"

#include <string>
#include <utility>
#include <vector>

namespace velm {

class TStoredJob {
public:
    using Entries = std::vector<std::pair<std::string, std::string>>;

    TStoredJob() = default;
    explicit TStoredJob(Entries entries) : FEntries(std::move(entries)) {}
    // The "Printer" section as the settings file holds it now: for stored
    // pages that come without their run.
    static TStoredJob FromSettings();

    // A key's text as the settings file would give it (names match without
    // regard to case), or fallback when the run did not record it.
    std::string Read(const std::string& Key, const std::string& Fallback) const;
    const Entries& All() const { return FEntries; }

    std::string Directory() const { return Read("Directory", "."); }
    // The print job's name in the queue and its PDF's title.
    std::string DocumentName() const { return Read("Document Name", "Velm"); }
    // Exactly "Portrait" is portrait; any other text is landscape.
    PaperOrientation Orientation() const;
    // Throws ConversionError for a text that is not an integer.
    int PrinterIndex() const;

    // The stored page's size in printer pixels: its printable area and the
    // paper below it, where the footer's stamp prints. Fallbacks for keys
    // the run did not record or that are not numbers.
    int PageWidth() const;
    int SheetHeight() const;

    // Header and footer texts whose totals the pages' playback fills in.
    TLateTexts LateTexts;
    // Stored pages scaled onto each printed sheet (n-up): 1, 2, 4 or 8.
    // Kept with the run, not in the settings file.
    int PagesPerSheet = 1;

private:
    Entries FEntries;
};

} // namespace velm
