// What a CUPS job asks of the velmtopdf filter: Velm's own options
// (-o velm-layout=1x2 ...), the title as the header's centre text, the
// input kind, and the paper from the job's options and the queue's PPD.
#pragma once

#include "cli/Options.h"
#include "platform/printing/printer.h"

#include <string>
#include <vector>

namespace velm {

// The sheet in PostScript points, portrait; the margin keeps the text off
// the printer's unprintable edges and is never below a quarter inch.
struct FilterPaper {
    double widthPt = 0;
    double heightPt = 0;
    double marginPt = 18;
    bool landscape = false;
};

struct FilterJob {
    CommandOptions options;
    FilterPaper paper;
    std::vector<std::string> warnings; // the options left out, and why
};

// The arguments cupsd gives: the title, the options text
// ("landscape velm-layout=1x2 media=A4"), the CONTENT_TYPE and the PPD
// path (empty: none). A velm- option the command would refuse, or one it
// does not know, is left out with a warning ("velm-layout: ...; ignored").
FilterJob ReadFilterJob(const std::string& title, const std::string& optionText,
                        const std::string& contentType, const std::string& ppdPath);

// The built-in printer's geometry for the paper at dpi: the portrait
// printable area and the margin in pixels.
PrinterCaps PaperCaps(const FilterPaper& paper, int dpi);
int MarginPixels(const FilterPaper& paper, int dpi);

} // namespace velm
