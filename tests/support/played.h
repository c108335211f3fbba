// What a metafile played on the trace device: its calls and the reader's result.
#pragma once

#include "platform/metafile/play_result.h"
#include "support/logging_device.h"

#include <algorithm>
#include <string>
#include <vector>

namespace velm {

// The characters a text record shows: shaped glyphs name them in the
// comment before them.
inline const std::u16string& ShownText(const TextRun& run) { return run.glyphIndex ? run.source.text : run.text; }

struct Played {
    LoggingDevice log;
    PlayResult result;
    std::vector<const LoggingDevice::Call*> of(const std::string& kind) const { return log.callsOf(kind); }
    std::vector<std::string> kinds() const
    {
        std::vector<std::string> out;
        for (const auto& c : log.calls())
            out.push_back(c.kind);
        return out;
    }
    bool noted(const std::string& part) const
    {
        return std::any_of(result.notes.begin(), result.notes.end(),
                           [&](const std::string& n) { return n.find(part) != std::string::npos; });
    }
};

} // namespace velm
