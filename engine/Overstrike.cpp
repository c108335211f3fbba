#include "engine/Overstrike.h"

#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "platform/core/codepage.h"

#include <algorithm>
#include <string_view>

namespace velm {

namespace {

// One printed character and the characters struck over it.
struct TStruckCell {
    std::string_view Shown;
    bool Bold = false;
    bool Underline = false;
    std::size_t Length = 0; // bytes of Line it takes
};

std::size_t CharLength(std::string_view s, std::size_t at) { return std::max<std::size_t>(utf8SequenceLength(s, at), 1); }

TStruckCell CellAt(std::string_view line, std::size_t at)
{
    TStruckCell cell;
    std::size_t end = at;
    while (end < line.size() && line[end] == '\b') // a backspace with nothing before it
        ++end;
    if (end == line.size())
        return {{}, false, false, end - at};
    cell.Shown = line.substr(end, CharLength(line, end));
    end += cell.Shown.size();
    while (end + 1 < line.size() && line[end] == '\b' && line[end + 1] != '\b') {
        const std::string_view over = line.substr(end + 1, CharLength(line, end + 1));
        if (over == cell.Shown) {
            cell.Bold = true;
        } else if (over == "_") {
            cell.Underline = true;
        } else if (cell.Shown == "_") {
            cell.Shown = over;
            cell.Underline = true;
        } else {
            break; // a different character: the backspace only goes
        }
        end += 1 + over.size();
    }
    // A backspace left here strikes nothing: the next cell skips it.
    cell.Length = end - at;
    return cell;
}

} // namespace

TStruckRun TakeStruckRun(std::string& Line)
{
    TStruckRun run;
    std::size_t at = 0;
    bool first = true;
    while (at < Line.size()) {
        const TStruckCell cell = CellAt(Line, at);
        if (!first && (cell.Bold != run.Bold || cell.Underline != run.Underline) && !cell.Shown.empty())
            break;
        if (first && !cell.Shown.empty()) {
            run.Bold = cell.Bold;
            run.Underline = cell.Underline;
            first = false;
        }
        run.Text += cell.Shown;
        at += cell.Length;
    }
    Line.erase(0, at);
    return run;
}

std::string Restrike(const TStruckRun& Run)
{
    if (!Run.Bold && !Run.Underline)
        return Run.Text;
    std::string struck;
    for (std::size_t at = 0; at < Run.Text.size();) {
        const std::string_view c = std::string_view(Run.Text).substr(at, CharLength(Run.Text, at));
        at += c.size();
        if (Run.Underline)
            struck += "_\b";
        struck += c;
        if (Run.Bold)
            (struck += '\b') += c;
    }
    return struck;
}

std::string Unstrike(std::string Line)
{
    std::string shown;
    while (!Line.empty())
        shown += TakeStruckRun(Line).Text;
    return shown;
}

void TPrintFile::NextStruckRun(std::string& Line, std::string& Segment)
{
    TStruckRun run = TakeStruckRun(Line);
    ApplyStrike(run.Bold, run.Underline);
    Segment = std::move(run.Text);
}

// On top of the contents font's own style.
void TPrintFile::ApplyStrike(bool Bold, bool Underline)
{
    FStrike.Bold = Bold;
    FStrike.Underline = Underline;
    TGdi& surface = *FGdi;
    const bool bold = ContentsFont.Has(fsBold) || Bold;
    const bool underline = ContentsFont.Has(fsUnderline) || Underline;
    if (bold != surface.Bold() || underline != surface.Underline())
        surface.MakeFont(surface.FontName(), surface.FontHeight(), bold, surface.Italic(), underline);
}

} // namespace velm
